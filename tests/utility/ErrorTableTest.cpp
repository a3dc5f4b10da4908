// The error table as the module carries it: every entry, and nothing else.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>

#include "MessageObject.h"
#include "TestSupport.h"

namespace {

struct Range { int first; int last; const char16_t* message; };

// The table as issued to users: code ranges and their messages.
const Range kTable[] = {
    {5001, 5004, u"檔案雜湊值產生失敗"},
    {5005, 5007, u"目錄雜湊值產生失敗"},
    {5008, 5009, u"建立卡片通訊連結失敗"},
    {5010, 5010, u"PinCode錯誤"},
    {5011, 5012, u"讀取IC卡憑證內容失敗"},
    {5013, 5014, u"加簽失敗"},
    {5015, 5018, u"輸出憑證BASE64編碼失敗"},
    {5019, 5019, u"輸出結果轉換失敗"},
    {5020, 5021, u"結束卡片通訊連結失敗"},
    {5022, 5025, u"待簽資料格式錯誤"},
    {6001, 6001, u"簽章憑據格式錯誤"},
    {6012, 6012, u"簽章憑據格式錯誤"},
    {6013, 6013, u"資料內容與簽章憑據不符"},
    {6014, 6017, u"檔案雜湊值產生失敗"},
    {6018, 6018, u"檔案雜湊值與簽章憑據不符"},
    {6019, 6021, u"目錄雜湊值產生失敗"},
    {6022, 6022, u"目錄雜湊值與簽章憑據不符"},
    {6023, 6024, u"輸入簽章BASE64編碼錯誤"},
    {6025, 6026, u"輸入憑證BASE64編碼錯誤"},
    {6027, 6027, u"憑證格式錯誤"},
    {6028, 6028, u"CSP呼叫失敗"},
    {6029, 6030, u"待驗資料雜湊值產生失敗"},
    {6031, 6031, u"無法取得公鑰"},
    {6032, 6032, u"簽章檢驗結果不符"},
    {6033, 6033, u"輸出憑證主旨轉換失敗"},
    {6034, 6035, u"簽章憑據格式錯誤"},
    {6036, 6036, u"輸出簽章憑據建立時間轉換失敗"},
    {6037, 6044, u"簽章憑據格式錯誤"},
    {6045, 6046, u"受簽內容標頭不符"},
    {8001, 8002, u"建立卡片通訊連結失敗"},
    {8003, 8004, u"讀取IC卡憑證內容失敗"},
    {8005, 8006, u"憑證轉換成BASE64編碼失敗"},
    {8007, 8007, u"輸出結果轉換失敗"},
    {8008, 8008, u"結束卡片通訊連結失敗"},
    {8009, 8010, u"讀取IC卡號失敗"},
    {8011, 8011, u"結束卡片通訊連結失敗"},
    {8101, 8102, u"輸入憑證BASE64編碼錯誤"},
    {8103, 8108, u"憑證格式錯誤"},
    {8109, 8109, u"輸出結果轉換失敗"},
    {8110, 8110, u"指定憑證種類錯誤"},
    {9001, 9002, u"輸入憑證BASE64編碼錯誤"},
    {9100, 9100, u"憑證格式錯誤"},
    {9101, 9101, u"發行者憑證找不到"},
    {9102, 9102, u"CRL安裝失敗"},
    {9103, 9103, u"憑證有效期限錯誤(過期或是未達啟用時間)"},
    {9104, 9104, u"憑證簽章錯誤"},
    {9105, 9105, u"憑證已被廢止"},
    {10001, 10001, u"CSP呼叫失敗"},
    {10002, 10003, u"輸入憑證BASE64編碼錯誤"},
    {10004, 10004, u"憑證格式錯誤"},
    {10005, 10007, u"加密失敗"},
    {10008, 10009, u"密文BASE64編碼失敗"},
    {10010, 10010, u"輸出結果轉換失敗"},
    {11001, 11002, u"密文BASE64編碼錯誤"},
    {11003, 11003, u"CSP呼叫失敗"},
    {11004, 11005, u"建立卡片通訊連結失敗"},
    {11006, 11007, u"讀取IC卡憑證內容失敗"},
    {11008, 11008, u"憑證格式錯誤"},
    {11009, 11009, u"取得憑證用途失敗"},
    {11010, 11011, u"密文編碼錯誤"},
    {11012, 11014, u"無法取得密文中的指定收件者"},
    {11015, 11015, u"憑證儲存庫中找不到指定收件者憑證"},
    {11016, 11016, u"讀取IC卡加解密用憑證失敗"},
    {11017, 11020, u"解密失敗"},
    {11021, 11021, u"輸出結果轉換失敗"},
    {11022, 11023, u"結束卡片通訊連結失敗"},
    {11024, 11024, u"開啟憑證儲存庫失敗"},
    {11025, 11025, u"更新憑證儲存庫失敗"},
    {11026, 11026, u"關閉憑證儲存庫失敗"},
    {11033, 11033, u"CSP呼叫失敗"},
    {11041, 11044, u"加密憑據格式錯誤"},
    {11050, 11051, u"無法取得IC卡適用之CSP名稱"},
    {12001, 12002, u"建立卡片通訊連結失敗"},
    {12003, 12003, u"PinCode錯誤"},
    {12004, 12005, u"結束卡片通訊連結失敗"},
};

std::map<int, std::string> Expected() {
  std::map<int, std::string> expected;
  for (const Range& r : kTable)
    for (int code = r.first; code <= r.last; ++code) expected[code] = qelt::test::Ansi(r.message);
  return expected;
}

TEST(ErrorTable, RunsInTheBig5CodePage) {
  ASSERT_EQ(GetACP(), 950u);
  // "PinCode錯誤" as Big5 bytes.
  EXPECT_EQ(qelt::TQeltUtility().GetErrorMessage(12003),
            std::string("PinCode\xBF\xF9\xBB\x7E"));
}

TEST(ErrorTable, LookupGivesEveryEntryAndNothingElse) {
  const auto expected = Expected();
  ASSERT_EQ(expected.size(), 138u);
  qelt::TQeltUtility utility;
  for (int code = -2; code <= 70000; ++code) {
    const auto it = expected.find(code);
    const std::string want = it == expected.end() ? std::string() : it->second;
    ASSERT_EQ(utility.GetErrorMessage(code), want) << "code " << code;
  }
  for (int code : {INT32_MIN, -12003, 65536 + 12003, INT32_MAX})
    EXPECT_EQ(utility.GetErrorMessage(code), "") << "code " << code;
}

TEST(ErrorTable, TheShippedModuleCarriesExactlyTheTable) {
  HMODULE ocx = LoadLibraryExW(qelt::test::WinPath(QELT_OCX).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(ocx, nullptr);
  const auto expected = Expected();
  int found = 0;
  for (int id = 1; id <= 65535; ++id) {
    char buffer[1024];
    const int n = LoadStringA(ocx, static_cast<UINT>(id), buffer, sizeof buffer);
    const auto it = expected.find(id);
    if (it == expected.end()) {
      EXPECT_EQ(n, 0) << "unexpected string id " << id;
      continue;
    }
    ++found;
    EXPECT_EQ(std::string(buffer, n > 0 ? n : 0), it->second) << "id " << id;
  }
  EXPECT_EQ(found, 138);
  // Stored in language 1028 only.
  EXPECT_NE(FindResourceExW(ocx, RT_STRING, MAKEINTRESOURCEW(12003 / 16 + 1), MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL)), nullptr);
  FreeLibrary(ocx);
}

}  // namespace
