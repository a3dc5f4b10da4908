// Signing and verification through the utility object and the virtual card.
#include "CardFixture.h"

#include <wincrypt.h>

#include <algorithm>
#include <regex>

#include "UtilityObject.h"

using namespace qelt;
using namespace qelt::test;

namespace {

std::vector<BYTE> FromBase64(const std::string& text) {
  DWORD size = 0;
  CryptStringToBinaryA(text.c_str(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64, nullptr, &size, nullptr,
                       nullptr);
  std::vector<BYTE> bytes(size);
  CryptStringToBinaryA(text.c_str(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64, bytes.data(), &size,
                       nullptr, nullptr);
  return bytes;
}

std::string ToBase64(const std::vector<BYTE>& bytes) {
  DWORD size = 0;
  CryptBinaryToStringA(bytes.data(), static_cast<DWORD>(bytes.size()), CRYPT_STRING_BASE64, nullptr, &size);
  std::string text(size, '\0');
  CryptBinaryToStringA(bytes.data(), static_cast<DWORD>(bytes.size()), CRYPT_STRING_BASE64, &text[0], &size);
  text.resize(size);
  return text;
}

class SignVerify : public CardTest {
 protected:
  // A utility object for the card, asked to sign uinfo and src into the signature file.
  std::unique_ptr<TfrmQELTUtility> Signer(const std::string& uinfo, const std::string& src) {
    auto utility = std::make_unique<TfrmQELTUtility>();
    utility->param()->set_uinfo(uinfo);
    utility->param()->set_src(src);
    utility->param()->set_pin("1234");
    utility->param()->set_signfile(signature_);
    return utility;
  }
  std::string Verify(const std::string& uinfo, const std::string& src) {
    TfrmQELTUtility utility;
    utility.param()->set_uinfo(uinfo);
    utility.param()->set_src(src);
    utility.param()->set_signfile(signature_);
    return utility.Verify();
  }
  CardProfile card_{CardText("citizen")};
  const std::string signature_ = AnsiPath(folder_, L"out.sig");
};

TEST_F(SignVerify, ASignatureFileVerifiesWithItsSignerAndTime) {
  const std::string uinfo = Ansi(u"<使用者&>"), src = Ansi(u"資料 a&b <x>\r\n");
  EXPECT_EQ(Signer(uinfo, src)->Sign(), Ansi(u"簽章完成"));
  const std::string file = ReadBytes(signature_);
  ASSERT_GE(file.size(), 2u);
  EXPECT_EQ(file.substr(file.size() - 2), "\r\n");
  EXPECT_EQ(file.find_first_of("\r\n"), file.size() - 2) << "one line of Base64, then CR LF";

  const std::string result = Verify(uinfo, src);
  const std::string prefix = Ansi(u"驗章成功，簽章人員：王小明，簽章時間：");
  ASSERT_EQ(result.substr(0, prefix.size()), prefix) << result;
  SYSTEMTIME now;
  GetLocalTime(&now);
  EXPECT_TRUE(std::regex_match(result.substr(prefix.size()), std::regex(R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d)")))
      << result;
  EXPECT_EQ(result.substr(prefix.size(), 4), std::to_string(now.wYear));

  // The signature holds exactly the to-be-signed text: other data fails.
  const std::string differs = Ansi(u"資料內容與簽章憑據不符");
  EXPECT_EQ(FailureOf([&] { Verify(uinfo, src + "x"); }), differs);
  EXPECT_EQ(FailureOf([&] { Verify("", src); }), differs);
}

TEST_F(SignVerify, WithoutASignatureFileTheSignatureIsTheResult) {
  WriteBytes(signature_, "old");
  auto utility = Signer("u", "abc");
  utility->param()->set_signfile("");
  // A file kind is passed on as it is; the operation opens no file itself.
  utility->param()->set_signTyp(stFile);
  const std::string signature = utility->Sign();
  EXPECT_EQ(signature.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
            std::string::npos);
  EXPECT_GT(FromBase64(signature).size(), 500u);
  EXPECT_EQ(ReadBytes(signature_), "old");
}

TEST_F(SignVerify, SigningFailuresWriteNothing) {
  struct Case { std::string profile; const char* pin; std::u16string message; };
  const Case cases[] = {
      {CardText("citizen"), "4321", u"PinCode錯誤"},
      {CardText("citizen", "present=no\n"), "1234", u"建立卡片通訊連結失敗"},
      {CardText("citizen", "keyPassword=wrong\n"), "1234", u"讀取IC卡憑證內容失敗"},
  };
  for (const Case& c : cases) {
    CardProfile card(c.profile);
    WriteBytes(signature_, "old");
    auto utility = Signer("u", "abc");
    utility->param()->set_pin(c.pin);
    EXPECT_EQ(FailureOf([&] { utility->Sign(); }), Ansi(c.message)) << c.profile;
    EXPECT_EQ(ReadBytes(signature_), "old");
  }
}

TEST_F(SignVerify, AlteredSignaturesFail) {
  ASSERT_EQ(Signer("u", "abc")->Sign(), Ansi(u"簽章完成"));
  const std::string good = ReadBytes(signature_);

  // The signed content changed inside the signature, and the data to match:
  // only the message digest can tell.
  std::vector<BYTE> der = FromBase64(good);
  const std::string body = "<TBSBody>abc";
  auto at = std::search(der.begin(), der.end(), body.begin(), body.end());
  ASSERT_NE(at, der.end());
  at[9] = 'x';
  WriteBytes(signature_, ToBase64(der));
  EXPECT_EQ(FailureOf([&] { Verify("u", "xbc"); }), Ansi(u"簽章檢驗結果不符"));

  // The signature value itself changed: its last byte ends the message.
  der = FromBase64(good);
  der.back() ^= 0x01;
  WriteBytes(signature_, ToBase64(der));
  EXPECT_EQ(FailureOf([&] { Verify("u", "abc"); }), Ansi(u"簽章檢驗結果不符"));

  struct Case { std::string file; std::u16string message; };
  const Case cases[] = {
      {"not base64 at all!", u"輸入簽章BASE64編碼錯誤"},
      {"QUJDREVG\r\n", u"簽章憑據格式錯誤"},
      {good.substr(0, good.size() / 2), u"簽章憑據格式錯誤"},
  };
  for (const Case& c : cases) {
    WriteBytes(signature_, c.file);
    EXPECT_EQ(FailureOf([&] { Verify("u", "abc"); }), Ansi(c.message)) << c.file;
  }
}

TEST_F(SignVerify, TheSignatureFileIsReadBeforeAnyCardCall) {
  CardProfile card(CardText("citizen", "fail.VerifySignedData=6001\n"));
  TfrmQELTUtility utility;
  utility.param()->set_signTyp(stData);  // read whatever the kind
  const std::string cannotOpen = "Cannot open file \"";
  EXPECT_EQ(FailureOf([&] { utility.Verify(); }).substr(0, cannotOpen.size() + 1), cannotOpen + "\"");
  utility.param()->set_signfile(AnsiPath(folder_, L"missing.sig"));
  const std::string message = FailureOf([&] { utility.Verify(); });
  EXPECT_EQ(message.substr(0, cannotOpen.size()), cannotOpen);
  EXPECT_NE(message.find(AnsiPath(folder_, L"missing.sig") + "\". "), std::string::npos) << message;
}

}  // namespace
