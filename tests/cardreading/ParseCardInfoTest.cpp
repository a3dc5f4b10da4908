// ParseCardInfo over small information texts, Big5 as the toolkit hands them over.
#include <gtest/gtest.h>

#include "Exception.h"
#include "MessageObject.h"
#include "TestSupport.h"

using namespace qelt;
using qelt::test::Ansi;

namespace {

const char kDates[] = "<notBefore>20200101 00:00:00</notBefore><notAfter>20451231 23:59:59</notAfter>";

std::string Doc(const std::string& inner) { return "<CertBaseInfo>" + inner + "</CertBaseInfo>"; }

std::string ParseFailure(const std::string& info) {
  try {
    TQeltUtility().ParseCardInfo(info, "CARD");
  } catch (const Exception& e) {
    return e.Message();
  }
  return "(no failure)";
}

TEST(ParseCardInfo, FillsEveryFieldFromItsElement) {
  const std::string info = Ansi(
      u"<CertBaseInfo><IssuerName>C=TW, OU=內政部憑證管理中心</IssuerName>"
      u"<Subjectname>C=TW, CN=王小明</Subjectname><Name>王小明</Name><Idno>A123456789</Idno>"
      u"<Usage>digitalSignature</Usage><Email>a&amp;b@example.com</Email>"
      u"<notBefore>20200101 00:00:00</notBefore><notAfter>20451231 23:59:59</notAfter>"
      u"<CertSerialNnumber>10000001</CertSerialNnumber><SerialNumber>0101</SerialNumber></CertBaseInfo>");
  const auto card = TQeltUtility().ParseCardInfo(info, "TP01");
  EXPECT_EQ(card->issuerName(), Ansi(u"C=TW, OU=內政部憑證管理中心"));
  EXPECT_EQ(card->subjectName(), Ansi(u"C=TW, CN=王小明"));
  EXPECT_EQ(card->name(), Ansi(u"王小明"));
  EXPECT_EQ(card->idno(), "A123456789");
  EXPECT_EQ(card->usage(), "digitalSignature");
  EXPECT_EQ(card->email(), "a&b@example.com");
  EXPECT_EQ(card->notBefore(), "1090101");
  EXPECT_EQ(card->notAfter(), "1341231");
  EXPECT_EQ(card->certSerialNumber(), "10000001");
  EXPECT_EQ(card->serialNumber(), "0101");
  EXPECT_EQ(card->icCardId(), "TP01");
  EXPECT_EQ(card->GetCardIssType(), "1");
}

TEST(ParseCardInfo, ElementsWithoutATextValueLeaveTheFieldEmpty) {
  const char* const emails[] = {
      "",                                   // no Email element
      "<Email></Email>", "<Email/>",        // empty
      "<Email>   </Email>",                 // white space only
      "<Email><b>x</b></Email>",            // element children
      "<Email><![CDATA[x@y]]></Email>",     // a CDATA section
  };
  for (const char* email : emails) {
    const auto card = TQeltUtility().ParseCardInfo(Doc(std::string(email) + kDates + "<Name>n</Name>"), "");
    EXPECT_EQ(card->email(), "") << email;
    EXPECT_EQ(card->name(), "n") << email;
  }
}

TEST(ParseCardInfo, TheFirstOfTwoNamesCounts) {
  const auto card = TQeltUtility().ParseCardInfo(Doc("<Name>first</Name><Name>second</Name>" + std::string(kDates)), "");
  EXPECT_EQ(card->name(), "first");
}

TEST(ParseCardInfo, DateAndDocumentFailures) {
  const std::string invalid = " is not a valid integer value";
  EXPECT_EQ(ParseFailure(Doc("<notAfter>20451231</notAfter>")), "''" + invalid);
  EXPECT_EQ(ParseFailure(Doc("<notBefore>20200101</notBefore>")), "''" + invalid);
  EXPECT_EQ(ParseFailure(Doc("<notBefore>ABCD0101</notBefore><notAfter>20451231</notAfter>")), "'ABCD'" + invalid);
  EXPECT_EQ(ParseFailure("<Other>" + std::string(kDates) + "</Other>"), "''" + invalid);
  // The prepended declaration already opens the document.
  EXPECT_NE(ParseFailure("<?xml version=\"1.0\"?>" + Doc(kDates)), "(no failure)");
  EXPECT_NE(ParseFailure(Doc(kDates) + "<"), "(no failure)");
  EXPECT_NE(ParseFailure(""), "(no failure)");
}

}  // namespace
