// Hostile input: deep nesting, entity expansion, truncated and binary bytes
// give a tree or a clear failure, never a crash or a blow-up.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "Exception.h"
#include "LoadError.h"
#include "XmlDom.h"

namespace qelt::xml {
namespace {

std::string Nested(size_t depth) {
  std::string s;
  for (size_t i = 0; i < depth; ++i) s += "<a>";
  for (size_t i = 0; i < depth; ++i) s += "</a>";
  return s;
}

TEST(HostileInput, NestingDepthIsBounded) {
  EXPECT_EQ(LoadError(Nested(1024)), "");
  EXPECT_EQ(LoadError(Nested(1025)).rfind("Elements are nested too deeply", 0), 0u);
  EXPECT_EQ(LoadError(std::string(3000000, '<')).empty(), false);
  std::string open;
  for (int i = 0; i < 200000; ++i) open += "<a>";
  EXPECT_EQ(LoadError(open).rfind("Elements are nested too deeply", 0), 0u);
}

TEST(HostileInput, EntityExpansionIsBounded) {
  std::string laughs = "<!DOCTYPE r [<!ENTITY l0 'lol'>";
  for (int i = 1; i <= 10; ++i) {
    laughs += "<!ENTITY l" + std::to_string(i) + " '";
    for (int k = 0; k < 10; ++k) laughs += "&l" + std::to_string(i - 1) + ";";
    laughs += "'>";
  }
  laughs += "]><r a='&l10;'>&l10;</r>";
  EXPECT_EQ(LoadError(laughs).rfind("Entity expansion exceeds the limit", 0), 0u);

  // Many references to one large entity.
  std::string big = "<!DOCTYPE r [<!ENTITY b '" + std::string(100000, 'x') + "'>]><r>";
  for (int i = 0; i < 100; ++i) big += "&b;";
  EXPECT_EQ(LoadError(big + "</r>").rfind("Entity expansion exceeds the limit", 0), 0u);

  // Empty entities referenced through many levels still count.
  std::string empty = "<!DOCTYPE r [<!ENTITY e0 ''>";
  for (int i = 1; i <= 8; ++i) {
    empty += "<!ENTITY e" + std::to_string(i) + " '";
    for (int k = 0; k < 10; ++k) empty += "&e" + std::to_string(i - 1) + ";";
    empty += "'>";
  }
  EXPECT_EQ(LoadError(empty + "]><r>&e8;</r>").rfind("Entity expansion exceeds the limit", 0), 0u);

  // A long chain of entities is cut off by the nesting bound.
  std::string chain = "<!DOCTYPE r [<!ENTITY c0 'end'>";
  for (int i = 1; i <= 5000; ++i)
    chain += "<!ENTITY c" + std::to_string(i) + " '&c" + std::to_string(i - 1) + ";'>";
  EXPECT_EQ(LoadError(chain + "]><r>&c5000;</r>").rfind("Entity references are nested too deeply", 0), 0u);
}

TEST(HostileInput, RecursiveEntitiesFail) {
  EXPECT_EQ(LoadError("<!DOCTYPE r [<!ENTITY e '<x>&e;</x>'>]><r>&e;</r>").rfind("Recursive reference", 0), 0u);
  EXPECT_EQ(LoadError("<!DOCTYPE r [<!ENTITY % p '&#37;p;'> %p;]><r/>").rfind("Recursive reference", 0), 0u);
}

TEST(HostileInput, EveryTruncationFailsCleanly) {
  const std::string doc =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE r [<!ENTITY e 'v'><!ATTLIST r a CDATA 'd'>]>\n"
      "<r x=\"1\"><!-- c --><?p d?><![CDATA[c]]>&e;&#65;<e/></r>";
  ASSERT_EQ(LoadError(doc), "");
  for (size_t n = 0; n < doc.size(); ++n) EXPECT_NE(LoadError(doc.substr(0, n)), "") << n;
}

TEST(HostileInput, BinaryBytesGiveATreeOrAFailure) {
  uint32_t state = 12345;
  auto next = [&state] {
    state = state * 1103515245u + 12345u;
    return static_cast<char>(state >> 16);
  };
  const std::string alphabet = "<>&;/=\"'![]-?#xa \n%";
  for (int round = 0; round < 2000; ++round) {
    std::string bytes;
    const int length = 1 + round % 97;
    for (int i = 0; i < length; ++i) {
      const char c = next();
      bytes += (round % 2) ? c : alphabet[static_cast<unsigned char>(c) % alphabet.size()];
    }
    Document d;
    try {
      d.LoadFromBytes(bytes);
    } catch (const Exception&) {
    }
  }
}

TEST(HostileInput, ManyAttributesStillCheckDuplicates) {
  std::string s = "<r";
  for (int i = 0; i < 5000; ++i) s += " a" + std::to_string(i) + "='1'";
  EXPECT_EQ(LoadError(s + "/>"), "");
  EXPECT_EQ(LoadError(s + " a4999='2'/>").rfind("Duplicate attribute 'a4999'", 0), 0u);
}

// Each declaration used to be compared with every other one and with every
// attribute of its element: tens of thousands of each took many seconds.
TEST(HostileInput, ManyDeclaredAttributesCostTheirSumNotTheirProduct) {
  std::string decls = "<!DOCTYPE r [<!ATTLIST r", attrs = "<r";
  for (int i = 0; i < 50000; ++i) {
    decls += " a" + std::to_string(i) + " NMTOKEN 'd'";
    if (i % 2 == 0) attrs += " a" + std::to_string(i) + "=' v '";
  }
  const auto start = std::chrono::steady_clock::now();
  Document d;
  d.LoadFromBytes(decls + ">]>" + attrs + "/>");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  const NodeList got = d.DocumentNode().ChildNodes().Item(0).Attributes();
  ASSERT_EQ(got.Count(), 50000u);
  EXPECT_EQ(got.FindByName(u"a0").Value(), u"v");
  EXPECT_EQ(got.FindByName(u"a1").Value(), u"d");
}

// Defaults repeat on every element that leaves them out, so a few bytes per
// element could make millions of attributes: they are bounded like entities.
TEST(HostileInput, AttributeDefaultsAreBounded) {
  std::string dtd = "<!DOCTYPE r [<!ATTLIST a";
  for (int i = 0; i < 100; ++i) dtd += " d" + std::to_string(i) + " CDATA 'x'";
  dtd += ">]>";
  auto elements = [](int count) {
    std::string s = "<r>";
    for (int i = 0; i < count; ++i) s += "<a/>";
    return s + "</r>";
  };
  EXPECT_EQ(LoadError(dtd + elements(100)), "");
  EXPECT_EQ(LoadError(dtd + elements(100000)).rfind("Attribute defaults exceed the limit of 4194304 characters", 0),
            0u);
}

}  // namespace
}  // namespace qelt::xml
