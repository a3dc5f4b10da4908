// The card information record: date conversion, padding, issuer type, dump.
#include <gtest/gtest.h>

#include "CardInfo.h"
#include "RocDate.h"
#include "Exception.h"
#include "SystemText.h"

using namespace qelt;

namespace {

std::string RocDateFailure(const std::string& text) {
  try {
    return "(no failure: " + ToRocDate(text) + ")";
  } catch (const Exception& e) {
    return e.Message();
  }
}

TEST(ToRocDate, ConvertsTheYearAndKeepsMonthAndDay) {
  const struct { const char* in; const char* out; } cases[] = {
      {"20051231", "0941231"}, {"20110101", "1000101"}, {"19120105", "0010105"},
      {"19110101", "0000101"}, {"19000101", "-110101"}, {"29110101", "10000101"},
      {"20240101 08:00:00", "1130101"},  // only eight characters count
      {"2005", "094"}, {"200512", "09412"}, {"2005123", "094123"}, {"1911", "000"},
      {"19100101", "-010101"},  // the sign stays in front of the padding
      {"+200", "-1711"}, {"-001", "-1912"}, {"0000", "-1911"}, {"1", "-1910"},
  };
  for (const auto& c : cases) EXPECT_EQ(ToRocDate(c.in), c.out) << c.in;
}

TEST(ToRocDate, ANonNumericYearFailsWithItsFourCharacters) {
  const struct { const char* in; const char* taken; } cases[] = {
      {"", ""}, {"ABCD0101", "ABCD"}, {"20a50101", "20a5"}, {"+", "+"}, {"-", "-"},
      {"2 05", "2 05"}, {"0x10", "0x10"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(RocDateFailure(c.in), "'" + std::string(c.taken) + "' is not a valid integer value") << c.in;
}

TEST(PadLeft, AddsWholeCopiesOfThePadAndNeverCuts) {
  const struct { const char* text; int width; const char* pad; const char* out; } cases[] = {
      {"7", 3, "0", "007"}, {"1234", 3, "0", "1234"}, {"123", 3, "0", "123"},
      {"7", 3, "ab", "abab7"}, {"", 2, "0", "00"}, {"7", 0, "0", "7"},
      {"7", -5, "0", "7"}, {"7", 1000000000, "", "7"},
  };
  for (const auto& c : cases) EXPECT_EQ(PadLeft(c.text, c.width, c.pad), c.out) << c.text << "/" << c.width;
}

TEST(CardIssType, FirstAuthorityNamedInTheIssuerWins) {
  const std::string moi = Ansi(u"內政部憑證管理中心"), gov = Ansi(u"政府憑證管理中心");
  const struct { std::string issuer; const char* type; } cases[] = {
      {"C=TW, O=" + Ansi(u"測試") + ", OU=" + moi, "1"},
      {Ansi(u"工商憑證管理中心"), "2"},
      {"OU=" + gov, "3"},
      {Ansi(u"組織及團體憑證管理中心"), "4"},
      {gov + " " + moi, "1"},  // contains both: the first in order counts
      {Ansi(u"OU=工商憑證管理中心, CN=組織及團體憑證管理中心"), "2"},
      {Ansi(u"測試憑證管理中心"), ""},
      {"", ""},
      // The name's bytes after the lead byte of another character are no match.
      {"\xA5" + moi, ""},
  };
  for (const auto& c : cases) {
    TCardInfo info;
    info.set_issuerName(c.issuer);
    EXPECT_EQ(info.GetCardIssType(), c.type) << c.issuer;
  }
}

TEST(CardInfoDump, EmptyRecordGivesTheTenLabels) {
  EXPECT_EQ(TCardInfo().AsText(),
            "issuerName : \r\nSubjectname : \r\nName : \r\nIdno : \r\nUsage : \r\nEmail : \r\n"
            "notBefore : \r\nnotAfter : \r\nCertSerialNnumber : \r\nSerialNumber : ");
}

TEST(CardInfoDump, FieldsInDumpOrderWithoutTheCardNumber) {
  TCardInfo info;
  info.set_email("e");
  info.set_name("n");
  info.set_issuerName("i");
  info.set_subjectName("s");
  info.set_notBefore("b");
  info.set_idno("d");
  info.set_certSerialNumber("c");
  info.set_notAfter("a");
  info.set_serialNumber("r");
  info.set_icCardId("CARD");
  info.set_usage("u");
  EXPECT_EQ(info.AsText(),
            "issuerName : i\r\nSubjectname : s\r\nName : n\r\nIdno : d\r\nUsage : u\r\nEmail : e\r\n"
            "notBefore : b\r\nnotAfter : a\r\nCertSerialNnumber : c\r\nSerialNumber : r");
}

}  // namespace
