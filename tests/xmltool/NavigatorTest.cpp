// TXMLTool: the path language over one small document, and its failure rule.
#include <gtest/gtest.h>

#include "CodePage.h"
#include "Exception.h"
#include "XMLTool.h"

namespace qelt {
namespace {

const char kDoc[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<CertBaseInfo>\n"
    "  <IssuerName>\xE5\x85\xA7\xE6\x94\xBF\xE9\x83\xA8</IssuerName>\n"  // 內政部
    "  <Name>First</Name>\n"
    "  <Name>Second</Name>\n"
    "  <item>zero</item><item>one</item>\n"
    "  <a id=\"7\" ds:tag=\"p\" empty=\"\"><b>inner</b></a>\n"
    "  <Empty/><Blank>   </Blank>\n"
    "  <Cdata><![CDATA[raw]]></Cdata><Commented><!-- c --></Commented>\n"
    "  <Mixed>x<!-- c -->y</Mixed><Merged>a&amp;b&#x43;</Merged>\n"
    "  <ds:X509Data xmlns:ds=\"urn:ds\">cert</ds:X509Data>\n"
    "</CertBaseInfo>\n";

enum Kind { kEmpty, kNull, kText };

struct Row {
  const char16_t* setup;  // a path asked first (or nullptr)
  const char16_t* path;
  Kind kind;
  const char16_t* text;
  const char16_t* basePath;  // BasePath afterwards
};

const Row kRows[] = {
    {nullptr, u"/", kEmpty, u"", u""},
    {nullptr, u"", kEmpty, u"", u""},
    {nullptr, u"/CertBaseInfo/Name", kText, u"First", u""},
    {nullptr, u"CertBaseInfo/Name", kText, u"First", u""},
    {nullptr, u"/CertBaseInfo/Name/", kText, u"First", u""},
    {nullptr, u"/CertBaseInfo/Name[1]", kText, u"Second", u""},
    {nullptr, u"/CertBaseInfo/Name[x]", kText, u"First", u""},
    {nullptr, u"/CertBaseInfo/Name[5]", kEmpty, u"", u""},
    {nullptr, u"/CertBaseInfo/Name[-1]", kEmpty, u"", u""},
    {nullptr, u"/CertBaseInfo/item[1]", kText, u"one", u""},
    {nullptr, u"/CertBaseInfo/ Name[1] ", kText, u"Second", u""},
    {nullptr, u"/CertBaseInfo/a/\t b \r", kText, u"inner", u""},
    {nullptr, u"/CertBaseInfo/  a  /b", kText, u"inner", u""},
    {nullptr, u"/CertBaseInfo/  /Name", kEmpty, u"", u""},
    {nullptr, u"/CertBaseInfo//", kEmpty, u"", u"/CertBaseInfo"},
    {u"/CertBaseInfo//", u"IssuerName", kText, u"\u5167\u653F\u90E8", u"/CertBaseInfo"},
    {u"/CertBaseInfo//", u"Name", kText, u"First", u"/CertBaseInfo"},
    {u"/CertBaseInfo//", u"", kEmpty, u"", u"/CertBaseInfo"},
    {u"/CertBaseInfo//", u"/CertBaseInfo/item", kText, u"zero", u"/CertBaseInfo"},
    {nullptr, u"/CertBaseInfo//Name", kText, u"First", u"/CertBaseInfo"},
    {nullptr, u"/Nothing//", kEmpty, u"", u"/Nothing"},
    {nullptr, u"/CertBaseInfo/a/@id", kText, u"7", u""},
    {nullptr, u"/CertBaseInfo/a/@id//", kText, u"7", u"/CertBaseInfo/a"},
    {u"/CertBaseInfo/a/@id//", u"b", kText, u"inner", u"/CertBaseInfo/a"},
    {nullptr, u"/CertBaseInfo/a/@tag", kText, u"p", u""},
    {nullptr, u"/CertBaseInfo/a/@ds:tag", kText, u"p", u""},
    {nullptr, u"/CertBaseInfo/a/@empty", kNull, u"", u""},
    {nullptr, u"/CertBaseInfo/a/@id[3]", kText, u"7", u""},
    {nullptr, u"/CertBaseInfo/a/@missing", kEmpty, u"", u""},
    {nullptr, u"/CertBaseInfo/a", kEmpty, u"", u""},
    {nullptr, u"/CertBaseInfo/Empty", kEmpty, u"", u""},
    {nullptr, u"/CertBaseInfo/Blank", kEmpty, u"", u""},
    {nullptr, u"/CertBaseInfo/Cdata", kEmpty, u"", u""},
    {nullptr, u"/CertBaseInfo/Commented", kEmpty, u"", u""},
    {nullptr, u"/CertBaseInfo/Mixed", kEmpty, u"", u""},
    {nullptr, u"/CertBaseInfo/Merged", kText, u"a&bC", u""},
    {nullptr, u"/CertBaseInfo/name", kEmpty, u"", u""},
    {nullptr, u"/CertBaseInfo/X509Data", kEmpty, u"", u""},
    {nullptr, u"/CertBaseInfo/ds:X509Data", kText, u"cert", u""},
    {nullptr, u"/CertBaseInfo/a/../Name", kText, u"First", u""},
    {nullptr, u"/CertBaseInfo/a/b/../../item", kText, u"zero", u""},
    {nullptr, u"/../CertBaseInfo/Name", kText, u"First", u""},
    {nullptr, u"x/../CertBaseInfo/Name", kText, u"First", u""},
    {nullptr, u"/CertBaseInfo/Commented/#comment", kEmpty, u"", u""},
};

std::string Describe(const Row& r) {
  return cp::Utf16ToUtf8(std::u16string(r.setup ? r.setup : u"") + u" then " + r.path);
}

TEST(Navigator, PathTable) {
  for (const Row& r : kRows) {
    TXMLTool tool;
    tool.LoadFromText(kDoc);
    if (r.setup) tool.GetValue(r.setup);
    const XmlValue v = tool.GetValue(r.path);
    EXPECT_EQ(v.isNull, r.kind == kNull) << Describe(r);
    EXPECT_EQ(cp::Utf16ToUtf8(v.text), cp::Utf16ToUtf8(r.text)) << Describe(r);
    EXPECT_EQ(cp::Utf16ToUtf8(tool.BasePath()), cp::Utf16ToUtf8(r.basePath)) << Describe(r);
  }
}

TEST(Navigator, ResolvePath) {
  TXMLTool tool;
  EXPECT_EQ(tool.ResolvePath(u"/a/../b"), u"/b");
  EXPECT_EQ(tool.ResolvePath(u"/../x"), u"x");
  EXPECT_EQ(tool.ResolvePath(u"a/../b"), u"/b");
  EXPECT_EQ(tool.ResolvePath(u"/a/b/../../c"), u"/c");
  EXPECT_EQ(tool.ResolvePath(u"/"), u"/");
  EXPECT_EQ(tool.ResolvePath(u"/a///b/"), u"/a/b");
  EXPECT_EQ(tool.BasePath(), u"/a");
  EXPECT_EQ(tool.ResolvePath(u"c"), u"/a/c");
  EXPECT_EQ(tool.ResolvePath(u"/@id//"), u"/@id");
  EXPECT_EQ(tool.BasePath(), u"/");
}

TEST(Navigator, PathFunctions) {
  EXPECT_EQ(TXMLTool::ParentPath(u"/a/@id"), u"/a");
  EXPECT_EQ(TXMLTool::ParentPath(u"/@id"), u"/");
  EXPECT_EQ(TXMLTool::ParentPath(u"id"), u"");
  EXPECT_EQ(TXMLTool::LastStep(u"/a/@id"), u"@id");
  EXPECT_EQ(TXMLTool::LastStep(u"id"), u"id");
  std::u16string rest = u"//a/b";
  EXPECT_EQ(TXMLTool::NextToken(rest), u"a");
  EXPECT_EQ(rest, u"b");
  EXPECT_EQ(TXMLTool::NextToken(rest), u"b");
  EXPECT_EQ(rest, u"");
}

std::string Ansi(const std::u16string& s) { return cp::Utf16ToAnsi(s); }

TEST(Navigator, RaiseErrorsPassesTheLookupFailureOn) {
  TXMLTool tool;
  tool.LoadFromText(kDoc);
  tool.RaiseErrors = true;
  try {
    tool.GetValue(u"/CertBaseInfo/Missing");
    FAIL() << "no failure";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), Ansi(u"\u8B80\u53D6 XML Node \"/CertBaseInfo/Missing\" \u6642\u767C\u751F\u932F\u8AA4: \r") +
                               Ansi(u"Node \u4E0D\u5B58\u5728."));
  }
  // A path containing "//" sets the base even when it leads nowhere.
  EXPECT_THROW(tool.GetValue(u"/Nothing//"), Exception);
  EXPECT_EQ(tool.BasePath(), u"/Nothing");
  // A blank step finds nothing without failing.
  EXPECT_TRUE(tool.GetValue(u"/CertBaseInfo/ /Name").text.empty());
  EXPECT_EQ(tool.GetValue(u"/CertBaseInfo/Name").text, u"First");
}

TEST(Navigator, Big5MessagesUnderCodePage950) {
  if (cp::AnsiCodePage() != cp::kBig5) GTEST_SKIP() << "ANSI code page is not 950";
  TXMLTool tool;
  tool.RaiseErrors = true;
  try {
    tool.GetValue(u"/x");
    FAIL() << "no failure";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message().substr(0, 18), "\xC5\xAA\xA8\xFA XML Node \"/x\"");
  }
}

TEST(Navigator, ResetAndFailedLoadLeaveAnEmptyDocument) {
  TXMLTool tool;
  EXPECT_EQ(tool.Document().Standalone(), u"yes");
  EXPECT_EQ(tool.Document().Encoding(), u"UTF-8");
  EXPECT_EQ(tool.Document().Indent(), u"\t");
  EXPECT_EQ(tool.Document().Options(), unsigned{xml::kAutoIndent});
  tool.LoadFromText(kDoc);
  tool.GetValue(u"/CertBaseInfo//");
  EXPECT_THROW(tool.LoadFromText("<CertBaseInfo><Name>x</CertBaseInfo>"), Exception);
  EXPECT_EQ(tool.BasePath(), u"");
  EXPECT_EQ(tool.Document().DocumentNode().ChildNodes().Count(), 0u);
  EXPECT_TRUE(tool.GetValue(u"/CertBaseInfo/Name").text.empty());
  tool.LoadFromText(kDoc);
  EXPECT_EQ(tool.GetValue(u"/CertBaseInfo/Name").text, u"First");
}

// The certificate information as the card toolkit gives it: Big5 text behind
// a declaration naming Big5.
TEST(Navigator, Big5CertificateInformation) {
  const std::string info =
      "<?xml version=\"1.0\" encoding=\"Big5\"?><CertBaseInfo>"
      "<IssuerName>\xA4\xBA\xAC\x46\xB3\xA1\xBE\xCC\xC3\xD2\xBA\xDE\xB2\x7A\xA4\xA4\xA4\xDF</IssuerName>"
      "<Name>\xB3\x5C\xA5\x5C\xBB\x5C</Name><notBefore>20051231</notBefore></CertBaseInfo>";
  TXMLTool tool;
  tool.LoadFromText(info);
  tool.GetValue(u"/CertBaseInfo//");
  EXPECT_EQ(tool.GetValue(u"IssuerName").text, u"\u5167\u653F\u90E8\u6191\u8B49\u7BA1\u7406\u4E2D\u5FC3");
  EXPECT_EQ(tool.GetValue(u"Name").text, u"\u8A31\u529F\u84CB");
  EXPECT_EQ(tool.GetValue(u"notBefore").text, u"20051231");
  EXPECT_TRUE(tool.GetValue(u"Email").text.empty());
}

}  // namespace
}  // namespace qelt
