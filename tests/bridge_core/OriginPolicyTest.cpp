#include "OriginPolicy.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qelt::bridge {
namespace {

using V = Verdict::Kind;
const OriginList kUnreadable{false, {}};

OriginList Listed(std::vector<std::string> entries) { return {true, std::move(entries)}; }

struct DecideCase {
  const char* name;
  std::string origin;
  bool topLevel;
  Policy policy;
  Answers answers;
  V kind;
  std::string reason;      // of a refusal
  std::string normalised;  // the verdict's origin
};

Policy Allowing(std::vector<std::string> allowed, PromptSetting prompt = PromptSetting::kOn) {
  Policy policy;
  policy.allowed = Listed(std::move(allowed));
  policy.prompt = prompt;
  return policy;
}
Policy Blocking(std::vector<std::string> blocked, std::vector<std::string> allowed = {}) {
  Policy policy = Allowing(std::move(allowed));
  policy.blocked = Listed(std::move(blocked));
  return policy;
}
Policy Unreadable(bool allowed, bool blocked, PromptSetting prompt) {
  Policy policy;
  policy.allowed = allowed ? kUnreadable : Listed({});
  policy.blocked = blocked ? kUnreadable : Listed({});
  policy.prompt = prompt;
  return policy;
}
// Earlier answers: Yes and No.
Answers Answered(std::vector<std::string> approved, std::vector<std::string> refused = {}) {
  Answers answers;
  answers.approved = std::move(approved);
  answers.refused = std::move(refused);
  return answers;
}
constexpr PromptSetting kOff = PromptSetting::kOff;

TEST(Decide, PolicyThenTheAnswersThenTheBox) {
  const std::string a = "https://a.example";
  const DecideCase cases[] = {
      // Not an origin: refused whatever the policy, the text kept as given.
      {"null origin", "null", true, Allowing({"null"}), {}, V::kRefuse, "origin", "null"},
      {"a path", "https://a.example/", true, Allowing({a}), Answered({a}, {}), V::kRefuse, "origin", "https://a.example/"},
      {"file", "file:///c:/x.html", true, {}, {}, V::kRefuse, "origin", "file:///c:/x.html"},
      // Exact entries, normalised on both sides.
      {"exact allow", a, false, Allowing({a}, kOff), {}, V::kAdmit, "", a},
      {"exact allow, written differently", "HTTPS://A.example:443", true, Allowing({"https://A.EXAMPLE"}, kOff), {},
       V::kAdmit, "", a},
      {"exact allow, other port", "https://a.example:8443", true, Allowing({a}, kOff), {}, V::kRefuse, "policy",
       "https://a.example:8443"},
      {"exact allow, other scheme", "http://a.example", true, Allowing({a}), {}, V::kRefuse, "policy", "http://a.example"},
      {"punycode entry admits the Unicode origin", "https://bücher.example", true,
       Allowing({"https://xn--bcher-kva.example"}, kOff), {}, V::kAdmit, "", "https://xn--bcher-kva.example"},
      // Wildcards: subdomains only, same port.
      {"wildcard, subdomain", "https://a.example.org", false, Allowing({"https://*.example.org"}, kOff), {}, V::kAdmit,
       "", "https://a.example.org"},
      {"wildcard, deeper subdomain", "https://a.b.example.org", true, Allowing({"https://*.example.org"}, kOff), {},
       V::kAdmit, "", "https://a.b.example.org"},
      {"wildcard, the domain itself", "https://example.org", true, Allowing({"https://*.example.org"}, kOff), {},
       V::kRefuse, "policy", "https://example.org"},
      {"wildcard, same suffix without a dot", "https://evil-example.org", true,
       Allowing({"https://*.example.org"}, kOff), {}, V::kRefuse, "policy", "https://evil-example.org"},
      {"wildcard, other port", "https://a.example.org:8443", true, Allowing({"https://*.example.org"}, kOff), {},
       V::kRefuse, "policy", "https://a.example.org:8443"},
      {"wildcard with port", "https://a.example.org:8443", true, Allowing({"https://*.example.org:8443"}, kOff), {},
       V::kAdmit, "", "https://a.example.org:8443"},
      // Blocked wins over everything.
      {"blocked and allowed", a, true, Blocking({a}, {a}), {}, V::kRefuse, "policy", a},
      {"blocked by wildcard, allowed exactly", "https://a.example.org", true,
       Blocking({"https://*.example.org"}, {"https://a.example.org"}), {}, V::kRefuse, "policy", "https://a.example.org"},
      {"blocked exactly, allowed by wildcard", "https://a.example.org", true,
       Blocking({"https://a.example.org"}, {"https://*.example.org"}), {}, V::kRefuse, "policy", "https://a.example.org"},
      {"blocked and approved", a, true, Blocking({a}), Answered({a}, {}), V::kRefuse, "policy", a},
      {"blocked http loopback", "http://localhost:3000", true, Blocking({"http://*.localhost", "http://localhost:3000"}, {"http://localhost:3000"}),
       {}, V::kRefuse, "policy", "http://localhost:3000"},
      {"a wildcard blocks its domain too", "https://example.org", true,
       Blocking({"https://*.example.org"}, {"https://example.org"}), {}, V::kRefuse, "policy", "https://example.org"},
      // A value that cannot be read refuses what it cannot prove allowed.
      {"blocked unreadable", a, true, Unreadable(false, true, PromptSetting::kOn), {}, V::kRefuse, "policy", a},
      {"allowed unreadable", a, true, Unreadable(true, false, PromptSetting::kOn), Answered({a}, {}), V::kRefuse, "policy", a},
      {"prompt unreadable", a, true, Unreadable(false, false, PromptSetting::kUnreadable), Answered({a}, {}), V::kRefuse, "policy", a},
      {"prompt unreadable, allowed", a, true, Allowing({a}, PromptSetting::kUnreadable), {}, V::kAdmit, "", a},
      {"blocked, allowed unreadable", a, true, [&] { Policy p = Unreadable(true, false, PromptSetting::kOn); p.blocked = Listed({a}); return p; }(), {}, V::kRefuse, "policy", a},
      // Prompting off: only the policy admits.
      {"prompt off", a, true, Allowing({}, kOff), {}, V::kRefuse, "policy", a},
      {"prompt off, approved earlier", a, true, Allowing({}, kOff), Answered({a}, {}), V::kRefuse, "policy", a},
      // Plain http: loopback listed exactly with its port, nothing else.
      {"http loopback listed", "http://127.0.0.1:8080", true, Allowing({"http://127.0.0.1:8080"}), {}, V::kAdmit, "",
       "http://127.0.0.1:8080"},
      {"http loopback listed, in a frame", "http://[::1]:8080", false, Allowing({"http://[::1]:8080"}), {}, V::kAdmit,
       "", "http://[::1]:8080"},
      {"http localhost listed on its default port", "http://localhost:80", true, Allowing({"http://localhost"}), {},
       V::kAdmit, "", "http://localhost"},
      {"http loopback, other port", "http://127.0.0.1:8081", true, Allowing({"http://127.0.0.1:8080"}), {}, V::kRefuse,
       "policy", "http://127.0.0.1:8081"},
      {"http loopback, no port listed", "http://127.0.0.1:8080", true, Allowing({"http://127.0.0.1"}), {}, V::kRefuse,
       "policy", "http://127.0.0.1:8080"},
      {"http loopback by wildcard", "http://a.localhost", true, Allowing({"http://*.localhost"}), {}, V::kRefuse,
       "policy", "http://a.localhost"},
      {"http other host listed", "http://example.com", true, Allowing({"http://example.com"}), {}, V::kRefuse, "policy",
       "http://example.com"},
      {"http approved earlier", "http://localhost:3000", true, {}, Answered({"http://localhost:3000"}, {}), V::kRefuse, "policy",
       "http://localhost:3000"},
      {"http, prompting on", "http://localhost:3000", true, {}, {}, V::kRefuse, "policy", "http://localhost:3000"},
      {"https loopback asks", "https://localhost:3000", true, {}, {}, V::kAsk, "", "https://localhost:3000"},
      // The person's answers.
      {"approved, top level", a, true, {}, Answered({a}, {}), V::kAdmit, "", a},
      {"approved, frame", a, false, {}, Answered({a}, {}), V::kAdmit, "", a},
      {"approved, written differently", a, true, {}, Answered({"HTTPS://A.EXAMPLE:443"}, {}), V::kAdmit, "", a},
      {"approved and refused", a, true, {}, Answered({a}, {a}), V::kAdmit, "", a},
      {"approved another port", a, true, {}, Answered({"https://a.example:8443"}, {}), V::kAsk, "", a},
      {"approval is never a wildcard", "https://b.a.example", true, {}, Answered({"https://*.a.example"}, {}), V::kAsk, "",
       "https://b.a.example"},
      {"frame, not approved", a, false, {}, {}, V::kRefuse, "frame", a},
      {"frame, refused earlier", a, false, {}, Answered({}, {a}), V::kRefuse, "frame", a},
      {"refused earlier", a, true, {}, Answered({}, {a}), V::kRefuse, "person", a},
      {"refused earlier, written differently", a, true, {}, Answered({}, {"https://A.example:443"}), V::kRefuse, "person", a},
      {"otherwise ask", "HTTPS://A.Example", true, {}, Answered({"https://b.example"}, {"https://c.example"}), V::kAsk, "", a},
      // Entries that are no origins are ignored, in both lists.
      {"odd allowed entries", "https://example.org", true,
       Allowing({"*", "https://*", "example.org", "*.example.org", "https://example.org/", "https://example.org/*"}, kOff),
       {}, V::kRefuse, "policy", "https://example.org"},
      // The block list fails closed instead.
      {"a blocked entry not understood", "https://example.org", true, Blocking({"https://example.org/"}), {},
       V::kRefuse, "policy", "https://example.org"},
  };
  for (const DecideCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Verdict verdict = Decide(c.origin, c.topLevel, true, c.policy, c.answers);
    EXPECT_EQ(verdict.kind, c.kind);
    EXPECT_EQ(verdict.reason, c.reason);
    EXPECT_EQ(verdict.origin, c.normalised);
    if (c.kind == V::kRefuse) {
      EXPECT_NE(verdict.description.find(c.normalised), std::string::npos) << verdict.description;
      EXPECT_EQ(verdict.description.find('{'), std::string::npos) << verdict.description;
    }
  }
}

TEST(Decide, AnUnreadableValueIsNamedInTheRefusal) {
  const std::pair<Policy, const char*> cases[] = {
      {Unreadable(false, true, PromptSetting::kOn), "BlockedOrigins"},
      {Unreadable(true, false, PromptSetting::kOn), "AllowedOrigins"},
      {Unreadable(false, false, PromptSetting::kUnreadable), "PromptForOthers"},
  };
  for (const auto& [policy, value] : cases) {
    SCOPED_TRACE(value);
    const Verdict verdict = Decide("HTTPS://A.EXAMPLE", true, true, policy, {});
    EXPECT_EQ(verdict.description, std::string("系統管理員的原則 ") + value + " 無法讀取，網站 https://a.example 不能使用憑證IC卡");
  }
}

TEST(Decide, BlockedEntriesCoverTheHostOnEverySchemeAndPort) {
  struct Case {
    const char* entry;
    std::vector<const char*> blocked, open;
  };
  const Case cases[] = {
      {"https://evil.example", {"https://evil.example", "https://evil.example:8443", "http://evil.example"},
       {"https://a.evil.example", "https://notevil.example"}},
      {"  evil.example\t", {"https://evil.example", "https://EVIL.example:444"}, {"https://a.evil.example"}},
      {"*.evil.example", {"https://evil.example", "https://a.evil.example", "https://a.b.evil.example:8443"},
       {"https://notevil.example", "https://evil.example.org"}},
      {"https://*.evil.example:8443", {"https://evil.example", "http://a.evil.example"}, {"https://xevil.example"}},
      {"http://Bücher.example", {"https://xn--bcher-kva.example"}, {"https://bucher.example"}},
      {"[0:0:0:0:0:0:0:1]", {"https://[::1]", "https://[::1]:8443"}, {"https://[::2]"}},
      {"https://[2001:DB8:0:0:1:0:0:1]", {"https://[2001:db8::1:0:0:1]"}, {"https://[2001:db8::1]"}},
      {"*", {"https://a.example", "https://[::1]", "http://localhost:3000"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.entry);
    const Policy policy = Blocking({"", "  ", c.entry}, {"https://*.example", "http://localhost:3000"});
    for (const char* origin : c.blocked) {
      const Verdict verdict = Decide(origin, true, true, policy, {});
      EXPECT_EQ(verdict.reason, "policy") << origin;
    }
    for (const char* origin : c.open) {
      const Verdict verdict = Decide(origin, true, true, policy, {});
      EXPECT_NE(verdict.reason, "policy") << origin;
    }
  }
}

TEST(Decide, ABlockedEntryNotUnderstoodRefusesEveryOriginAndIsNamed) {
  for (const char* entry : {"https://*", "evil.example:8443", "https://evil.example/path", "ftp://evil.example",
                            "*.*.evil.example", "evil example", "[::1", "**"}) {
    SCOPED_TRACE(entry);
    const Verdict verdict =
        Decide("https://a.example", true, true, Blocking({"https://b.example", entry}, {"https://a.example"}), {});
    EXPECT_EQ(verdict.kind, V::kRefuse);
    EXPECT_EQ(verdict.reason, "policy");
    EXPECT_EQ(verdict.description, std::string("系統管理員的原則 BlockedOrigins 的項目「") + entry +
                                       "」無法辨識，網站 https://a.example 不能使用憑證IC卡");
  }
}

TEST(Decide, TheBoxOnlyForAPersonWhoActedAndNothingRememberedToldWithout) {
  const std::string a = "https://a.example";
  const std::int64_t now = 1800000000;
  const Answers remembered{{"https://approved.example"}, {"https://no.example:8443"},
                           {{"https://quiet.example", now - 599}, {"https://old.example", now - 600}}, now};
  struct Case {
    const char* origin;
    bool topLevel, activated;
    V kind;
    const char* reason;
  };
  const Case cases[] = {
      {"https://a.example", true, true, V::kAsk, ""},
      {"https://a.example", true, false, V::kRefuse, "activation"},
      {"https://a.example", false, false, V::kRefuse, "frame"},
      // Allowed and approved origins connect on load.
      {"https://allowed.example", true, false, V::kAdmit, ""},
      {"https://approved.example", false, false, V::kAdmit, ""},
      // The policy still says so without a gesture.
      {"https://blocked.example", true, false, V::kRefuse, "policy"},
      // A No covers its host name: any scheme, any port; but only with a gesture.
      {"https://no.example", true, true, V::kRefuse, "person"},
      {"https://NO.example:9000", true, true, V::kRefuse, "person"},
      {"https://a.no.example", true, true, V::kAsk, ""},
      {"https://no.example", true, false, V::kRefuse, "activation"},
      // An unanswered box: that origin alone, for ten minutes.
      {"https://quiet.example", true, true, V::kRefuse, "timeout"},
      {"https://quiet.example:8443", true, true, V::kAsk, ""},
      {"https://quiet.example", true, false, V::kRefuse, "activation"},
      {"https://old.example", true, true, V::kAsk, ""},
  };
  const Policy policy = Blocking({"blocked.example"}, {"https://allowed.example"});
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.origin) + (c.topLevel ? "" : " frame") + (c.activated ? " activated" : ""));
    const Verdict verdict = Decide(c.origin, c.topLevel, c.activated, policy, remembered);
    EXPECT_EQ(verdict.kind, c.kind);
    EXPECT_EQ(verdict.reason, c.reason);
  }
  EXPECT_EQ(Decide(a, true, false, {}, {}).description,
            "網站 https://a.example 須由您按下網頁上的按鈕，才能要求使用憑證IC卡：請使用網頁本身的按鈕");
}

TEST(Unanswered, KeptAsOriginAndSeconds) {
  Unanswered entry;
  ASSERT_TRUE(ParseUnanswered("https://a.example 1800000000", entry));
  EXPECT_EQ(entry.origin, "https://a.example");
  EXPECT_EQ(entry.at, 1800000000);
  EXPECT_EQ(UnansweredText(entry), "https://a.example 1800000000");
  for (const char* bad : {"https://a.example", "https://a.example ", "https://a.example 12x", " 99999999999999999999"})
    EXPECT_FALSE(ParseUnanswered(bad, entry)) << bad;
}

TEST(Decide, AProxyValueThatCannotBeReadRefusesAll) {
  Policy policy = Allowing({"https://a.example"});
  policy.proxy.unreadable = "ProxyPort";
  const Verdict verdict = Decide("https://a.example", true, true, policy, {});
  EXPECT_EQ(verdict.reason, "policy");
  EXPECT_NE(verdict.description.find("ProxyPort"), std::string::npos);
}

}  // namespace
}  // namespace qelt::bridge
