// Encryption to the card's certificate and decryption with its key, through
// files, and the input-file rule as the operations apply it.
#include "CardFixture.h"
#include "UtilityObject.h"

using namespace qelt;
using namespace qelt::test;

namespace {

class EncryptDecrypt : public CardTest {
 protected:
  CardProfile card_{CardText("citizen")};
  const std::string plainFile_ = AnsiPath(folder_, L"plain.txt");
  const std::string cipherFile_ = AnsiPath(folder_, L"cipher.txt");

  std::string DecryptFile(const std::string& pin = "1234") {
    TfrmQELTUtility utility;
    utility.param()->set_signTyp(stFile);
    utility.param()->set_signfile(cipherFile_);
    utility.param()->set_pin(pin);
    return utility.Decrypt();
  }
};

TEST_F(EncryptDecrypt, RoundTripThroughFiles) {
  WriteBytes(plainFile_, Ansi(u"第一行\nline 2"));
  TfrmQELTUtility utility;
  utility.param()->set_signTyp(stFile);
  utility.param()->set_src(plainFile_);
  utility.param()->set_signfile(cipherFile_);
  EXPECT_EQ(utility.Encrypt(), Ansi(u"加密完成"));
  const std::string normalised = Ansi(u"第一行\r\nline 2\r\n");
  EXPECT_EQ(utility.param()->src(), normalised);  // the file's text replaced its name
  EXPECT_EQ(utility.param()->certType(), ctEncrypt);
  EXPECT_EQ(ReadBytes(plainFile_), Ansi(u"第一行\nline 2"));

  EXPECT_EQ(DecryptFile(), Ansi(u"解密成功，密文：\r\n") + normalised);
  // Decryption never writes a file.
  EXPECT_EQ(FilesIn(folder_).size(), 2u);
}

TEST_F(EncryptDecrypt, TextInTextOut) {
  TfrmQELTUtility sender;
  sender.param()->set_src("");
  const std::string empty = sender.Encrypt();
  sender.param()->set_src("a&b");
  const std::string cipher = sender.Encrypt();
  EXPECT_NE(cipher, empty);

  TfrmQELTUtility receiver;
  receiver.param()->set_pin("1234");
  receiver.param()->set_src(cipher);
  receiver.param()->set_signfile(cipherFile_);  // ignored: the text is in src
  EXPECT_EQ(receiver.Decrypt(), Ansi(u"解密成功，密文：\r\n") + "a&b");
  receiver.param()->set_src(empty);
  EXPECT_EQ(receiver.Decrypt(), Ansi(u"解密成功，密文：\r\n"));
  EXPECT_EQ(ReadBytes(cipherFile_), "(missing)");
}

TEST_F(EncryptDecrypt, DecryptionFailures) {
  TfrmQELTUtility sender;
  sender.param()->set_src("secret");
  sender.param()->set_signfile(cipherFile_);
  ASSERT_EQ(sender.Encrypt(), Ansi(u"加密完成"));
  const std::string cipher = ReadBytes(cipherFile_);

  struct Case { std::string profile, file, pin; std::u16string message; };
  const Case cases[] = {
      {CardText("citizen"), cipher, "4321", u"PinCode錯誤"},
      {CardText("citizen", "present=no\n"), cipher, "1234", u"建立卡片通訊連結失敗"},
      {CardText("company"), cipher, "1234", u"憑證儲存庫中找不到指定收件者憑證"},  // another card's key
      {CardText("citizen"), "%%%", "1234", u"密文BASE64編碼錯誤"},
      {CardText("citizen"), "QUJDREVG", "1234", u"加密憑據格式錯誤"},
  };
  for (const Case& c : cases) {
    CardProfile card(c.profile);
    WriteBytes(cipherFile_, c.file);
    EXPECT_EQ(FailureOf([&] { DecryptFile(c.pin); }), Ansi(c.message)) << c.file;
  }
}

TEST_F(EncryptDecrypt, EncryptionKeepsTheEncryptionCertificateTypeEvenWhenItFails) {
  {
    CardProfile card(CardText("citizen", "fail.GetCertificate=8003\n"));
    TfrmQELTUtility utility;
    utility.param()->set_certType(ctSign);
    utility.param()->set_signfile(cipherFile_);
    EXPECT_EQ(FailureOf([&] { utility.Encrypt(); }), Ansi(u"讀取IC卡憑證內容失敗"));
    EXPECT_EQ(utility.param()->certType(), ctEncrypt);
    EXPECT_EQ(ReadBytes(cipherFile_), "(missing)");
  }
  TfrmQELTUtility utility;
  utility.param()->set_signTyp(stFile);
  utility.param()->set_src(AnsiPath(folder_, L"missing.txt"));
  const std::string message = FailureOf([&] { utility.Encrypt(); });
  EXPECT_EQ(message.rfind("Cannot open file \"" + AnsiPath(folder_, L"missing.txt") + "\". ", 0), 0u) << message;
  EXPECT_EQ(utility.param()->certType(), ctEncrypt);
}

// Decrypt takes its file's text into src before the card is asked, so a
// refused call shows what the rule made of the file.
TEST_F(EncryptDecrypt, InputFilesAreNormalisedText) {
  CardProfile card(CardText("citizen", "fail.DecryptData=11017\n"));
  struct Case { std::string bytes, text; };
  const Case cases[] = {
      {"a\rb\rc", "a\r\nb\r\nc\r\n"},
      {"a\nb\n", "a\r\nb\r\n"},
      {std::string("ab\0cd\r\nef", 9), "ab\r\n"},
      {"", ""},
  };
  for (const Case& c : cases) {
    WriteBytes(cipherFile_, c.bytes);
    TfrmQELTUtility utility;
    utility.param()->set_signTyp(stFile);
    utility.param()->set_signfile(cipherFile_);
    EXPECT_EQ(FailureOf([&] { utility.Decrypt(); }), Ansi(u"解密失敗"));
    EXPECT_EQ(utility.param()->src(), c.text);
  }
}

TEST_F(EncryptDecrypt, AnInputFileOpenForWritingCannotBeRead) {
  WriteBytes(cipherFile_, "x");
  HANDLE writer = CreateFileA(cipherFile_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  const std::string message = FailureOf([&] { DecryptFile(); });
  CloseHandle(writer);
  EXPECT_EQ(message.rfind("Cannot open file \"" + cipherFile_ + "\". ", 0), 0u) << message;
  EXPECT_GT(message.size(), cipherFile_.size() + 22) << "the system's text follows";
}

}  // namespace
