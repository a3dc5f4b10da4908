#include "Origin.h"

#include <gtest/gtest.h>

#include <string>

#include "Punycode.h"

namespace qelt::bridge {
namespace {

struct OriginCase {
  std::string text;
  std::string normalised;  // empty: refused
  bool allowWildcard = false;
};

TEST(ParseOrigin, NormalisesOrRefuses) {
  const std::string longLabel(63, 'a');
  // 64 characters that no Punycode could shorten: refused before converting
  // (a 100,000-character label once took seconds).
  std::string longChinese, hugeChinese;
  for (int i = 0; i < 64; ++i) longChinese += "\xE4\xB8\x80";
  for (int i = 0; i < 100000; ++i) hugeChinese += "\xE4\xB8\x80";
  const OriginCase cases[] = {
      {"https://a.example", "https://a.example"},
      {"HTTPS://A.Example.ORG", "https://a.example.org"},
      {"https://a.example:443", "https://a.example"},
      {"http://a.example:80", "http://a.example"},
      {"http://a.example:443", "http://a.example:443"},
      {"https://a.example:80", "https://a.example:80"},
      {"https://a.example:8443", "https://a.example:8443"},
      {"https://a.example:1", "https://a.example:1"},
      {"https://a.example:65535", "https://a.example:65535"},
      {"https://a-b.example", "https://a-b.example"},
      {"http://127.0.0.1:8080", "http://127.0.0.1:8080"},
      {"http://localhost", "http://localhost"},
      {"https://" + longLabel + ".example", "https://" + longLabel + ".example"},
      // Hosts in ASCII: IDNA labels as Punycode, the other full stops as dots.
      {"https://bücher.example", "https://xn--bcher-kva.example"},
      {"https://Bücher.example", "https://xn--bcher-kva.example"},
      {"https://BÜCHER.example", "https://xn--bcher-kva.example"},
      {"https://ＥＸＡＭＰＬＥ．ｏｒｇ", "https://example.org"},
      {"https://xn--bcher-kva.example", "https://xn--bcher-kva.example"},
      {"https://münchen.de", "https://xn--mnchen-3ya.de"},
      {"https://例え.テスト", "https://xn--r8jz45g.xn--zckzah"},
      {"https://bücher。example", "https://xn--bcher-kva.example"},
      {"https://bücher．example", "https://xn--bcher-kva.example"},
      {"https://bücher｡example", "https://xn--bcher-kva.example"},
      // IPv6 in brackets.
      {"http://[::1]", "http://[::1]"},
      {"http://[::1]:8080", "http://[::1]:8080"},
      {"https://[::1]:443", "https://[::1]"},
      {"HTTP://[::FFFF:7F00:1]", "http://[::ffff:7f00:1]"},
      // ... written as browsers write them: no leading zeros, the first longest zero run as "::".
      {"http://[0:0:0:0:0:0:0:1]", "http://[::1]"},
      {"http://[0000:0000::0001]", "http://[::1]"},
      {"http://[2001:db8:0:0:1:0:0:1]", "http://[2001:db8::1:0:0:1]"},
      {"http://[2001:db8:0:1:1:1:1:1]", "http://[2001:db8:0:1:1:1:1:1]"},
      {"http://[1::]", "http://[1::]"},
      {"http://[::]", "http://[::]"},
      {"http://[::ffff:127.0.0.1]", "http://[::ffff:7f00:1]"},
      {"http://[1:2:3:4:5:6:7::]", "http://[1:2:3:4:5:6:7:0]"},
      {"http://[1:2:3:4:5:6:7:8:9]", ""},
      {"http://[1::2::3]", ""},
      {"http://[12345::1]", ""},
      {"http://[1:2:3:4:5:6:7]", ""},
      {"http://[::1.2.3.256]", ""},
      {"http://[:1]", ""},
      {"http://[1:]", ""},
      {"http://[::1", ""},
      {"http://[::1]x", ""},
      {"http://[::1]:", ""},
      {"http://[::g]", ""},
      {"http://[1.2.3.4]", ""},
      {"http://[]", ""},
      // Not an http or https origin.
      {"", ""},
      {"null", ""},
      {"file://", ""},
      {"file:///C:/card.html", ""},
      {"chrome-extension://abcdefghijklmnopabcdefghijklmnop", ""},
      {"moz-extension://0a1b2c3d-4e5f-6a7b-8c9d-0e1f2a3b4c5d", ""},
      {"ftp://a.example", ""},
      {"wss://a.example", ""},
      {"https:a.example", ""},
      {"//a.example", ""},
      {" https://a.example", ""},
      // A URL, not an origin.
      {"https://a.example/", ""},
      {"https://a.example/path", ""},
      {"https://a.example\\path", ""},
      {"https://a.example?q=1", ""},
      {"https://a.example#f", ""},
      {"https://user@a.example", ""},
      {"https://user:pw@a.example", ""},
      // Bad hosts and ports.
      {"https://", ""},
      {"https://:443", ""},
      {"https://a.example.", ""},
      {"https://.a.example", ""},
      {"https://a..example", ""},
      {"https://a example", ""},
      {"https://a.example ", ""},
      {"https://a%2eexample", ""},
      {"https://a!.example", ""},
      {"https://a\x7F.example", ""},
      {"https://" + longLabel + "a.example", ""},
      {"https://" + longLabel + "." + longLabel + "." + longLabel + "." + longLabel, ""},
      {"https://b\xFC" "cher.example", ""},  // Latin-1, not UTF-8
      {"https://" + longChinese + ".example", ""},
      {"https://" + hugeChinese + ".example", ""},
      {"https://a.example:", ""},
      {"https://a.example:0", ""},
      {"https://a.example:65536", ""},
      {"https://a.example:99999", ""},
      {"https://a.example:123456", ""},
      {"https://a.example:abc", ""},
      {"https://a.example:-1", ""},
      {"https://a.example:+1", ""},
      {"https://a.example:80:80", ""},
      // Wildcards: policy entries only, leftmost label only, with a domain after it.
      {"https://*.example.org", "https://*.example.org", true},
      {"HTTPS://*.Example.ORG:443", "https://*.example.org", true},
      {"https://*.example.org:8443", "https://*.example.org:8443", true},
      {"https://*.bücher.example", "https://*.xn--bcher-kva.example", true},
      {"http://*.localhost", "http://*.localhost", true},
      {"https://*.example.org", ""},
      {"https://*", "", true},
      {"https://*.", "", true},
      {"*", "", true},
      {"https://a.*.example.org", "", true},
      {"https://*example.org", "", true},
      {"https://*.*.example.org", "", true},
      {"https://**.example.org", "", true},
      {"https://a*.example.org", "", true},
      {"https://*.example.org/", "", true},
      {"https://*.example.org:0", "", true},
      {"*.example.org", "", true},
  };
  for (const OriginCase& c : cases) {
    SCOPED_TRACE(c.text + (c.allowWildcard ? " (wildcards allowed)" : ""));
    std::string problem;
    const auto origin = ParseOrigin(c.text, c.allowWildcard, &problem);
    if (c.normalised.empty()) {
      EXPECT_FALSE(origin) << origin->Text();
      EXPECT_FALSE(problem.empty());
    } else {
      ASSERT_TRUE(origin) << problem;
      EXPECT_EQ(origin->Text(), c.normalised);
      EXPECT_EQ(origin->wildcard, c.normalised.find('*') != std::string::npos);
    }
  }
}

TEST(ParseOrigin, ANormalisedOriginParsesToItself) {
  for (const char* text : {"https://xn--bcher-kva.example", "http://[::1]:8080", "https://a.example:80", "https://*.a.example:8443"}) {
    SCOPED_TRACE(text);
    const auto origin = ParseOrigin(text, true);
    ASSERT_TRUE(origin);
    EXPECT_EQ(origin->Text(), text);
  }
}

// The samples of the Punycode standard (RFC 3492, 7.1).
TEST(Punycode, EncodesTheStandardsSamples) {
  const std::pair<std::u32string, std::string> cases[] = {
      {U"\u0644\u064A\u0647\u0645\u0627\u0628\u062A\u0643\u0644\u0645\u0648\u0634\u0639\u0631\u0628\u064A\u061F",
       "egbpdaj6bu4bxfgehfvwxn"},
      {U"\u4ED6\u4EEC\u4E3A\u4EC0\u4E48\u4E0D\u8BF4\u4E2D\u6587", "ihqwcrb4cv8a8dqg056pqjye"},
      {U"\u4ED6\u5011\u7232\u4EC0\u9EBD\u4E0D\u8AAA\u4E2D\u6587", "ihqwctvzc91f659drss3x8bo0yb"},
      {U"Pro\u010Dprost\u011Bnemluv\u00ED\u010Desky", "Proprostnemluvesky-uyb24dma41a"},
      {U"\u05DC\u05DE\u05D4\u05D4\u05DD\u05E4\u05E9\u05D5\u05D8\u05DC\u05D0\u05DE\u05D3\u05D1\u05E8\u05D9\u05DD\u05E2"
       U"\u05D1\u05E8\u05D9\u05EA",
       "4dbcagdahymbxekheh6e0a7fei0b"},
      {U"\u092F\u0939\u0932\u094B\u0917\u0939\u093F\u0928\u094D\u0926\u0940\u0915\u094D\u092F\u094B\u0902\u0928\u0939"
       U"\u0940\u0902\u092C\u094B\u0932\u0938\u0915\u0924\u0947\u0939\u0948\u0902",
       "i1baa7eci9glrd9b2ae1bj0hfcgg6iyaf8o0a1dig0cd"},
      {U"\u306A\u305C\u307F\u3093\u306A\u65E5\u672C\u8A9E\u3092\u8A71\u3057\u3066\u304F\u308C\u306A\u3044\u306E\u304B",
       "n8jok5ay5dzabd5bym9f0cm5685rrjetr6pdxa"},
      {U"\uC138\uACC4\uC758\uBAA8\uB4E0\uC0AC\uB78C\uB4E4\uC774\uD55C\uAD6D\uC5B4\uB97C\uC774\uD574\uD55C\uB2E4\uBA74"
       U"\uC5BC\uB9C8\uB098\uC88B\uC744\uAE4C",
       "989aomsvi5e83db1d2a355cv1e0vak1dwrv93d5xbh15a0dt30a5jpsd879ccm6fea98c"},
      {U"\u043F\u043E\u0447\u0435\u043C\u0443\u0436\u0435\u043E\u043D\u0438\u043D\u0435\u0433\u043E\u0432\u043E\u0440"
       U"\u044F\u0442\u043F\u043E\u0440\u0443\u0441\u0441\u043A\u0438",
       "b1abfaaepdrnnbgefbadotcwatmq2g4l"},
      {U"Porqu\u00E9nopuedensimplementehablarenEspa\u00F1ol", "PorqunopuedensimplementehablarenEspaol-fmd56a"},
      {U"T\u1EA1isaoh\u1ECDkh\u00F4ngth\u1EC3ch\u1EC9n\u00F3iti\u1EBFngVi\u1EC7t", "TisaohkhngthchnitingVit-kjcr8268qyxafd2f1b9g"},
      {U"3\u5E74B\u7D44\u91D1\u516B\u5148\u751F", "3B-ww4c5e180e575a65lsy2b"},
      {U"\u5B89\u5BA4\u5948\u7F8E\u6075-with-SUPER-MONKEYS", "-with-SUPER-MONKEYS-pc58ag80a8qai00g7n9n"},
      {U"Hello-Another-Way-\u305D\u308C\u305E\u308C\u306E\u5834\u6240", "Hello-Another-Way--fc4qua05auwb3674vfr0b"},
      {U"\u3072\u3068\u3064\u5C4B\u6839\u306E\u4E0B2", "2-u9tlzr9756bt3uc0v"},
      {U"Maji\u3067Koi\u3059\u308B5\u79D2\u524D", "MajiKoi5-783gue6qz075azm5e"},
      {U"\u30D1\u30D5\u30A3\u30FCde\u30EB\u30F3\u30D0", "de-jg4avhby1noc0d"},
      {U"\u305D\u306E\u30B9\u30D4\u30FC\u30C9\u3067", "d9juau41awczczp"},
      {U"-> $1.00 <-", "-> $1.00 <--"},
  };
  for (const auto& [label, encoded] : cases) {
    SCOPED_TRACE(encoded);
    EXPECT_EQ(PunycodeEncode(label), encoded);
  }
}

struct MatchCase {
  const char* entry;
  const char* origin;
  bool matches;
};

TEST(EntryMatches, WildcardsCoverSubdomainsAtALabelBoundary) {
  const MatchCase cases[] = {
      {"https://a.example.org", "https://a.example.org", true},
      {"https://a.example.org", "https://b.example.org", false},
      {"https://a.example.org", "http://a.example.org", false},
      {"https://a.example.org", "https://a.example.org:8443", false},
      {"https://*.example.org", "https://a.example.org", true},
      {"https://*.example.org", "https://a.b.example.org", true},
      {"https://*.example.org", "https://example.org", false},
      {"https://*.example.org", "https://evil-example.org", false},
      {"https://*.example.org", "https://aexample.org", false},
      {"https://*.example.org", "https://a.example.org.evil.example", false},
      {"https://*.example.org", "http://a.example.org", false},
      {"https://*.example.org", "https://a.example.org:8443", false},
      {"https://*.example.org:8443", "https://a.example.org:8443", true},
      {"https://*.example.org:8443", "https://a.example.org", false},
  };
  for (const MatchCase& c : cases) {
    SCOPED_TRACE(std::string(c.entry) + " / " + c.origin);
    const auto entry = ParseOrigin(c.entry, true), origin = ParseOrigin(c.origin, false);
    ASSERT_TRUE(entry && origin);
    EXPECT_EQ(EntryMatches(*entry, *origin), c.matches);
  }
}

}  // namespace
}  // namespace qelt::bridge
