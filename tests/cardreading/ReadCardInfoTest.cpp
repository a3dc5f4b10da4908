// Reading the card end to end: the utility object, the toolkit wrapper and
// the virtual card behind real COM dispatch, over the committed test cards.
#include <gtest/gtest.h>

#include "CardFiles.h"
#include "Exception.h"
#include "UtilityObject.h"
#include "win/Resources.h"

using namespace qelt;
using qelt::test::Ansi;
using qelt::test::CardProfile;
using qelt::test::UseCard;

namespace {

class ReadCard : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { test::RegisterVirtualCard(); }
  win::ComScope com_;
};

template <typename F>
std::string FailureOf(F&& run) {
  try {
    run();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "(no failure)";
}

TEST_F(ReadCard, RecordsOfTheTestCards) {
  struct Expected {
    const char* card;
    std::u16string issuer, subject, name, email;
    const char *idno, *notBefore, *notAfter, *certSerial, *cardSerial, *cardNo, *issType;
  };
  const Expected cases[] = {
      {"citizen", u"C=TW, O=測試, OU=內政部憑證管理中心", u"C=TW, CN=王小明", u"王小明", u"wang@example.com.tw",
       "A123456789", "1090101", "1341231", "10000001", "0101", "TP0000000000000101", "1"},
      {"company", u"C=TW, O=測試, OU=工商憑證管理中心", u"C=TW, CN=測試股份有限公司", u"測試股份有限公司",
       u"service@example.com.tw", "12345678", "1090101", "1341231", "8F120001", "0201", "TP0000000000000201", "2"},
      {"agency", u"C=TW, O=測試, OU=政府憑證管理中心", u"C=TW, CN=測試局", u"測試局", u"agency@example.gov.tw",
       "2000000001", "1090101", "1341231", "30000001", "0301", "TP0000000000000301", "3"},
      {"association", u"C=TW, O=測試, OU=組織及團體憑證管理中心", u"C=TW, CN=測試協會", u"測試協會", u"",
       "3000000001", "1090101", "1341231", "40000001", "0401", "TP0000000000000401", "4"},
      {"unknown", u"C=TW, O=測試, OU=測試憑證管理中心", u"C=TW, CN=陳大文", u"陳大文", u"chen@example.org",
       "B223456789", "1090101", "1341231", "50000001", "0501", "TP0000000000000501", ""},
      {"expired", u"C=TW, O=測試, OU=內政部憑證管理中心", u"C=TW, CN=李小華", u"李小華", u"lee@example.com.tw",
       "C123456789", "1080101", "1100630", "10000011", "0601", "TP0000000000000601", "1"},
      // Markup in every value survives the XML text unchanged.
      {"markup", u"C=TW, O=測試, OU=測試憑證管理中心", u"C=TW, CN=\"林 & <測試>\"", u"林 & <測試>",
       u"a&b@example.org", "E1&<>", "1090101", "1341231", "50000011", "0801", "TP<&>0801", ""},
  };
  for (const Expected& e : cases) {
    SCOPED_TRACE(e.card);
    UseCard card(e.card);
    TfrmQELTUtility utility;
    utility.param()->set_certType(ctSign);
    const std::unique_ptr<TCardInfo> info = utility.ReadCardInfo();
    EXPECT_EQ(info->issuerName(), Ansi(e.issuer));
    EXPECT_EQ(info->subjectName(), Ansi(e.subject));
    EXPECT_EQ(info->name(), Ansi(e.name));
    EXPECT_EQ(info->email(), Ansi(e.email));
    EXPECT_EQ(info->idno(), e.idno);
    EXPECT_EQ(info->usage(), "digitalSignature, keyEncipherment");
    EXPECT_EQ(info->notBefore(), e.notBefore);
    EXPECT_EQ(info->notAfter(), e.notAfter);
    EXPECT_EQ(info->certSerialNumber(), e.certSerial);
    EXPECT_EQ(info->serialNumber(), e.cardSerial);
    EXPECT_EQ(info->icCardId(), e.cardNo);
    EXPECT_EQ(info->GetCardIssType(), e.issType);
  }
}

TEST_F(ReadCard, DumpOfACitizenCard) {
  UseCard card("citizen");
  TfrmQELTUtility utility;
  utility.param()->set_certType(ctSign);
  EXPECT_EQ(utility.ReadCardInfo()->AsText(),
            Ansi(u"issuerName : C=TW, O=測試, OU=內政部憑證管理中心\r\nSubjectname : C=TW, CN=王小明\r\n"
                 u"Name : 王小明\r\nIdno : A123456789\r\nUsage : digitalSignature, keyEncipherment\r\n"
                 u"Email : wang@example.com.tw\r\nnotBefore : 1090101\r\nnotAfter : 1341231\r\n"
                 u"CertSerialNnumber : 10000001\r\nSerialNumber : 0101"));
}

TEST_F(ReadCard, CertificateTypeReachesTheToolkit) {
  UseCard card("citizen");
  const std::string sign = test::PemBody(test::ReadCardFile("citizen", "sign.pem"));
  const std::string encrypt = test::PemBody(test::ReadCardFile("citizen", "encrypt.pem"));
  ASSERT_FALSE(sign.empty());
  ASSERT_NE(sign, encrypt);

  TfrmQELTUtility utility;
  const struct { TCertType type; const std::string& cert; } cases[] = {
      {ctSign, sign}, {ctEncrypt, encrypt}, {ccUknown, sign}};  // unknown: the card's default
  for (const auto& c : cases) {
    utility.param()->set_certType(c.type);
    std::string cert = "stale", cardNo = "stale";
    utility.ReadCertAndCardNo(cert, cardNo);
    EXPECT_EQ(cert, c.cert) << int(c.type);
    EXPECT_EQ(cardNo, "TP0000000000000101");
    EXPECT_EQ(utility.ReadCertificate(), c.cert) << int(c.type);
  }
  utility.param()->set_certType(ctEncrypt);
  EXPECT_EQ(utility.ReadCardInfo()->certSerialNumber(), "10000002");

  utility.param()->set_certType(static_cast<TCertType>(3));  // a type no card holds
  EXPECT_EQ(FailureOf([&] { utility.ReadCertificate(); }), Ansi(u"讀取IC卡憑證內容失敗"));
}

TEST_F(ReadCard, ToolkitCodesBecomeTableMessages) {
  // An absolute path to a real certificate, so only the injected code fails.
  std::string signPath;
  for (wchar_t c : test::WinPath(test::CardFolder("citizen") + "/sign.pem")) signPath.push_back(static_cast<char>(c));

  const struct { std::string profile; std::u16string message; } cases[] = {
      {"fail.GetCertificate=8003\n", u"讀取IC卡憑證內容失敗"},
      {"present=no\n", u"建立卡片通訊連結失敗"},
      {"signCert=missing.pem\n", u"讀取IC卡憑證內容失敗"},
      {"signCert=" + signPath + "\nfail.GetCertificateInfo=8103\n", u"憑證格式錯誤"},
      {"signCert=" + signPath + "\nfail.GetCertificateInfo=8109\n", u"輸出結果轉換失敗"},
  };
  for (const auto& c : cases) {
    CardProfile profile(c.profile);
    TfrmQELTUtility utility;
    utility.param()->set_certType(ctSign);
    EXPECT_EQ(FailureOf([&] { utility.ReadCardInfo(); }), Ansi(c.message)) << c.profile;
  }
}

TEST_F(ReadCard, CertificateInformationOfBrokenCertificates) {
  UseCard card("citizen");
  TQELT toolkit;
  std::string info = "stale";
  EXPECT_EQ(toolkit.GetCertificateInfo("", info), 8101);
  EXPECT_EQ(toolkit.GetCertificateInfo("not Base64 at all!", info), 8101);
  EXPECT_EQ(toolkit.GetCertificateInfo("QUJDREVGR0g=", info), 8103);  // Base64, but not a certificate
  EXPECT_EQ(info, "stale");

  // The PEM form, header lines and all, is accepted like the bare Base64.
  const std::string pem = test::ReadCardFile("citizen", "sign.pem");
  ASSERT_EQ(toolkit.GetCertificateInfo(pem, info), 0);
  std::string bare;
  ASSERT_EQ(toolkit.GetCertificateInfo(test::PemBody(pem), bare), 0);
  EXPECT_EQ(info, bare);
  EXPECT_EQ(info.rfind("<CertBaseInfo><IssuerName>", 0), 0u) << info;  // no declaration of its own
}

}  // namespace
