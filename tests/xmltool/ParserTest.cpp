// The parser: its node tree, encodings and failure messages.
#include <gtest/gtest.h>

#include <iterator>
#include <string>

#include "CodePage.h"
#include "Exception.h"
#include "LoadError.h"
#include "XmlDom.h"

namespace qelt::xml {
namespace {


Node Root(const Document& d) {
  const NodeList top = d.DocumentNode().ChildNodes();
  for (size_t i = 0; i < top.Count(); ++i)
    if (top.Item(i).Type() == NodeType::Element) return top.Item(i);
  return Node();
}

std::string Utf8(const std::u16string& s) { return cp::Utf16ToUtf8(s); }

TEST(Parser, ChildrenOfEveryKindInDocumentOrder) {
  Document d;
  d.LoadFromBytes(
      "<!-- before --><?pi data?><r>text &amp; more&#33;<![CDATA[<raw>]]><!--c--><?go now?>\n"
      "  <e/>  tail</r>");
  const NodeList top = d.DocumentNode().ChildNodes();
  ASSERT_EQ(top.Count(), 3u);
  EXPECT_EQ(top.Item(0).Type(), NodeType::Comment);
  EXPECT_EQ(top.Item(1).Name(), u"pi");
  EXPECT_EQ(top.Item(1).Value(), u"data");
  const NodeList kids = top.Item(2).ChildNodes();
  ASSERT_EQ(kids.Count(), 6u);
  EXPECT_EQ(kids.Item(0).Type(), NodeType::Text);
  EXPECT_EQ(kids.Item(0).Value(), u"text & more!");
  EXPECT_EQ(kids.Item(1).Type(), NodeType::CData);
  EXPECT_EQ(kids.Item(1).Value(), u"<raw>");
  EXPECT_EQ(kids.Item(2).Type(), NodeType::Comment);
  EXPECT_EQ(kids.Item(3).Type(), NodeType::ProcessingInstruction);
  EXPECT_EQ(kids.Item(4).Name(), u"e");
  EXPECT_EQ(kids.Item(5).Value(), u"  tail");
  EXPECT_FALSE(kids.Item(6));
}

TEST(Parser, WhiteSpaceOnlyTextIsDroppedUnlessPreserved) {
  Document d;
  d.LoadFromBytes("<r>\r\n <a> </a> <b xml:space='preserve'> </b></r>");
  const NodeList kids = Root(d).ChildNodes();
  ASSERT_EQ(kids.Count(), 2u);
  EXPECT_EQ(kids.Item(0).ChildNodes().Count(), 0u);
  EXPECT_TRUE(kids.Item(1).IsTextElement());
}

TEST(Parser, AttributesAndLocalNames) {
  Document d;
  d.LoadFromBytes("<r a='1\t2\n3' ds:id=\"x&lt;&#x20AC;\"/>");
  const NodeList attrs = Root(d).Attributes();
  ASSERT_EQ(attrs.Count(), 2u);
  EXPECT_EQ(attrs.FindByName(u"a").Value(), u"1 2 3");
  EXPECT_EQ(attrs.FindByName(u"id").Value(), u"x<\u20AC");
  EXPECT_EQ(attrs.FindByName(u"ds:id").Name(), u"ds:id");
  EXPECT_EQ(attrs.FindByName(u"ds:id").Type(), NodeType::Attribute);
  EXPECT_FALSE(attrs.FindByName(u"b"));
}

TEST(Parser, InternalSubsetEntitiesAndDefaults) {
  Document d;
  d.LoadFromBytes(
      "<!DOCTYPE r [\n"
      "  <!ELEMENT r (#PCDATA|b)*>\n"
      "  <!ATTLIST r kind NMTOKENS '  x   y ' note CDATA #IMPLIED>\n"
      "  <!ENTITY who \"<b>&name;</b>\">\n"
      "  <!ENTITY name 'World'>\n"
      "  <!ENTITY % pe '<!ENTITY later \"L\">'>\n"
      "  %pe;\n"
      "  <!NOTATION png SYSTEM 'image/png'>\n"
      "]>\n"
      "<r>Hello &who;! &later;</r>");
  const Node r = Root(d);
  EXPECT_EQ(r.Attributes().FindByName(u"kind").Value(), u"x y");
  const NodeList kids = r.ChildNodes();
  ASSERT_EQ(kids.Count(), 3u);
  EXPECT_EQ(kids.Item(0).Value(), u"Hello ");
  EXPECT_EQ(kids.Item(1).Value(), u"World");
  EXPECT_EQ(kids.Item(2).Value(), u"! L");
}

// The first declaration of a name binds; present attributes come first, then
// the defaults in the order declared; only values not CDATA are collapsed.
TEST(Parser, DeclaredAttributesAndTheirDefaults) {
  Document d;
  d.LoadFromBytes(
      "<!DOCTYPE r [\n"
      "  <!ATTLIST r t NMTOKENS ' a  b ' c CDATA 'first' t CDATA 'late'>\n"
      "  <!ATTLIST r c NMTOKEN 'late' n NMTOKEN #IMPLIED z CDATA ' z  z '>\n"
      "]>\n"
      "<r n='  v  ' c=' kept  as is '/>");
  const NodeList attrs = Root(d).Attributes();
  const std::pair<std::u16string, std::u16string> expected[] = {
      {u"n", u"v"}, {u"c", u" kept  as is "}, {u"t", u"a b"}, {u"z", u" z  z "}};
  ASSERT_EQ(attrs.Count(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(attrs.Item(i).Name(), expected[i].first);
    EXPECT_EQ(attrs.Item(i).Value(), expected[i].second);
  }
}

TEST(Parser, ExternalSubsetIsNotReadButNotNeeded) {
  EXPECT_EQ(LoadError("<!DOCTYPE r SYSTEM 'missing.dtd'><r>&unknown;</r>"), "");
  EXPECT_EQ(LoadError("<!DOCTYPE r [<!ENTITY e SYSTEM 'missing.xml'>]><r>&e;</r>"), "");
  EXPECT_NE(LoadError("<!DOCTYPE r [<!ENTITY e SYSTEM 'missing.xml'>]><r a='&e;'/>"), "");
  EXPECT_NE(LoadError("<?xml version='1.0' standalone='yes'?><!DOCTYPE r SYSTEM 'x.dtd'><r>&unknown;</r>"), "");
}

TEST(Parser, FailureMessageGivesReasonLineAndLineText) {
  EXPECT_EQ(LoadError("<a>\n<b></c>\n</a>"),
            "End tag 'c' does not match the start tag 'b'\r\nLine: 2\r\n<b></c>");
  EXPECT_EQ(LoadError("<a>\r\n\r\n<b>x&undeclared;</b></a>"),
            "Undeclared entity 'undeclared'\r\nLine: 3\r\n<b>x&undeclared;</b></a>");
  EXPECT_EQ(LoadError(""), "The document has no root element\r\nLine: 1\r\n");
  EXPECT_EQ(LoadError("<r>\n<x a='1' a='2'/></r>"),
            "Duplicate attribute 'a' in element 'x'\r\nLine: 2\r\n<x a='1' a='2'/></r>");
  // Only the first 40 characters of the line.
  EXPECT_EQ(LoadError("<r>0123456789012345678901234567890123456789 ]]> tail</r>"),
            "']]>' is not allowed in text\r\nLine: 1\r\n<r>0123456789012345678901234567890123456");
  EXPECT_EQ(LoadError("<r/><r/>"), "Only one root element is allowed\r\nLine: 1\r\n<r/><r/>");
  EXPECT_EQ(LoadError("<r>\n<!-- a -- b --></r>"),
            "'--' is not allowed inside a comment\r\nLine: 2\r\n<!-- a -- b --></r>");
  EXPECT_EQ(LoadError("<r a='<'/>"), "'<' is not allowed in an attribute value\r\nLine: 1\r\n<r a='<'/>");
  EXPECT_EQ(LoadError("<r>\n</r>\n<?xml version='1.0'?>"),
            "The XML declaration is allowed only at the very start of the document\r\nLine: 3\r\n"
            "<?xml version='1.0'?>");
  EXPECT_EQ(LoadError("<r>\x01</r>"), "Illegal character U+0001 in the document\r\nLine: 1\r\n<r>\x01</r>");
  EXPECT_EQ(LoadError("<r>\n<a>"), "Unexpected end of the document before the end tag of 'a'\r\nLine: 2\r\n<a>");
}

TEST(Parser, EntityTextMustBeWellFormedInContext) {
  EXPECT_NE(LoadError("<!DOCTYPE r [<!ENTITY e '<a>'>]><r>&e;</a></r>"), "");
  EXPECT_NE(LoadError("<!DOCTYPE r [<!ENTITY e '&#60;'>]><r a='&e;'/>"), "");
  EXPECT_EQ(LoadError("<!DOCTYPE r [<!ENTITY e '&#38;#60;'>]><r a='&e;'/>"), "");
  EXPECT_NE(LoadError("<!DOCTYPE r [<!ENTITY a '&b;'><!ENTITY b '&a;'>]><r>&a;</r>"), "");
  EXPECT_NE(LoadError("<!DOCTYPE r [<!ENTITY e 'x'>]><r>&e</r>"), "");
  EXPECT_NE(LoadError("<!DOCTYPE r [<!ENTITY % p 'x'><!ENTITY e '%p;'>]><r/>"), "");
}

TEST(Parser, Big5Document) {
  Document d;
  d.LoadFromBytes("<?xml version=\"1.0\" encoding=\"Big5\"?><r a=\"\xB4\xFA\xB8\xD5\">\xB3\x5C\xA5\x5C\xBB\x5C</r>");
  EXPECT_EQ(Utf8(Root(d).Value()), "\xE8\xA8\xB1\xE5\x8A\x9F\xE8\x93\x8B");  // 許功蓋
  EXPECT_EQ(Root(d).Attributes().Item(0).Value(), u"\u6E2C\u8A66");
  // A lead byte without its trail byte is no Big5.
  EXPECT_EQ(LoadError("<?xml version=\"1.0\" encoding=\"Big5\"?>\n<r>\n\xB3</r>"),
            "The document's bytes are not valid in its encoding 'Big5'\r\nLine: 3\r\n?</r>");
}

std::string Utf16(const std::u16string& text, bool bigEndian, bool bom) {
  std::string out = bom ? (bigEndian ? "\xFE\xFF" : "\xFF\xFE") : "";
  for (char16_t c : text) {
    const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
    out += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
  }
  return out;
}

TEST(Parser, Utf16Documents) {
  const std::u16string text = u"<?xml version='1.0' encoding='UTF-16'?><r>\u738B\U00020000</r>";
  for (bool bigEndian : {false, true}) {
    Document d;
    d.LoadFromBytes(Utf16(text, bigEndian, true));
    EXPECT_EQ(Root(d).Value(), u"\u738B\U00020000");
    // Without a byte order mark the declaration still tells.
    Document n;
    n.LoadFromBytes(Utf16(text, bigEndian, false));
    EXPECT_EQ(Root(n).Value(), u"\u738B\U00020000");
  }
  EXPECT_EQ(LoadError(Utf16(u"<r/>", false, true)), "");
  EXPECT_NE(LoadError(Utf16(u"<?xml version='1.0' encoding='Big5'?><r/>", false, true)), "");
  EXPECT_NE(LoadError(Utf16(u"<r/>", false, true) + "x"), "");
}

TEST(Parser, EncodingsByDeclaration) {
  Document d;
  d.LoadFromBytes("\xEF\xBB\xBF<r>\xC3\xA9</r>");
  EXPECT_EQ(Root(d).Value(), u"\u00E9");
  d.LoadFromBytes("<?xml version='1.0' encoding='ISO-8859-1'?><r>\xE9</r>");
  EXPECT_EQ(Root(d).Value(), u"\u00E9");
  d.LoadFromBytes("<?xml version='1.0' encoding='windows-1252'?><r>\x80</r>");
  EXPECT_EQ(Root(d).Value(), u"\u20AC");
  EXPECT_NE(LoadError("<?xml version='1.0' encoding='US-ASCII'?><r>\xE9</r>"), "");
  EXPECT_NE(LoadError("<r>\xE9</r>"), "");  // no declaration: UTF-8
  EXPECT_EQ(LoadError("<?xml version='1.0' encoding='X-UNKNOWN'?><r/>"),
            "Unsupported encoding 'X-UNKNOWN'\r\nLine: 1\r\n<?xml version='1.0' encoding='X-UNKNOWN'");
  EXPECT_NE(LoadError("\xEF\xBB\xBF<?xml version='1.0' encoding='Big5'?><r/>"), "");
}

}  // namespace
}  // namespace qelt::xml
