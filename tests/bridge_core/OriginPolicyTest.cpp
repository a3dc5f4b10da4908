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
  return {Listed(std::move(allowed)), {}, prompt};
}
Policy Blocking(std::vector<std::string> blocked, std::vector<std::string> allowed = {}) {
  return {Listed(std::move(allowed)), Listed(std::move(blocked)), PromptSetting::kOn};
}
constexpr PromptSetting kOff = PromptSetting::kOff;

TEST(Decide, PolicyThenTheAnswersThenTheBox) {
  const std::string a = "https://a.example";
  const DecideCase cases[] = {
      // Not an origin: refused whatever the policy, the text kept as given.
      {"null origin", "null", true, Allowing({"null"}), {}, V::kRefuse, "origin", "null"},
      {"a path", "https://a.example/", true, Allowing({a}), {{a}, {}}, V::kRefuse, "origin", "https://a.example/"},
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
      {"blocked and approved", a, true, Blocking({a}), {{a}, {}}, V::kRefuse, "policy", a},
      {"blocked http loopback", "http://localhost:3000", true, Blocking({"http://*.localhost", "http://localhost:3000"}, {"http://localhost:3000"}),
       {}, V::kRefuse, "policy", "http://localhost:3000"},
      {"a wildcard does not block its domain", "https://example.org", true,
       Blocking({"https://*.example.org"}, {"https://example.org"}), {}, V::kAdmit, "", "https://example.org"},
      // A value that cannot be read refuses what it cannot prove allowed.
      {"blocked unreadable", a, true, {Listed({a}), kUnreadable, PromptSetting::kOn}, {}, V::kRefuse, "policy", a},
      {"allowed unreadable", a, true, {kUnreadable, {}, PromptSetting::kOn}, {{a}, {}}, V::kRefuse, "policy", a},
      {"prompt unreadable", a, true, {{}, {}, PromptSetting::kUnreadable}, {{a}, {}}, V::kRefuse, "policy", a},
      {"prompt unreadable, allowed", a, true, Allowing({a}, PromptSetting::kUnreadable), {}, V::kAdmit, "", a},
      {"blocked, allowed unreadable", a, true, {kUnreadable, Listed({a}), PromptSetting::kOn}, {}, V::kRefuse, "policy", a},
      // Prompting off: only the policy admits.
      {"prompt off", a, true, Allowing({}, kOff), {}, V::kRefuse, "policy", a},
      {"prompt off, approved earlier", a, true, Allowing({}, kOff), {{a}, {}}, V::kRefuse, "policy", a},
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
      {"http approved earlier", "http://localhost:3000", true, {}, {{"http://localhost:3000"}, {}}, V::kRefuse, "policy",
       "http://localhost:3000"},
      {"http, prompting on", "http://localhost:3000", true, {}, {}, V::kRefuse, "policy", "http://localhost:3000"},
      {"https loopback asks", "https://localhost:3000", true, {}, {}, V::kAsk, "", "https://localhost:3000"},
      // The person's answers.
      {"approved, top level", a, true, {}, {{a}, {}}, V::kAdmit, "", a},
      {"approved, frame", a, false, {}, {{a}, {}}, V::kAdmit, "", a},
      {"approved, written differently", a, true, {}, {{"HTTPS://A.EXAMPLE:443"}, {}}, V::kAdmit, "", a},
      {"approved and refused", a, true, {}, {{a}, {a}}, V::kAdmit, "", a},
      {"approved another port", a, true, {}, {{"https://a.example:8443"}, {}}, V::kAsk, "", a},
      {"approval is never a wildcard", "https://b.a.example", true, {}, {{"https://*.a.example"}, {}}, V::kAsk, "",
       "https://b.a.example"},
      {"frame, not approved", a, false, {}, {}, V::kRefuse, "frame", a},
      {"frame, refused earlier", a, false, {}, {{}, {a}}, V::kRefuse, "frame", a},
      {"refused earlier", a, true, {}, {{}, {a}}, V::kRefuse, "person", a},
      {"refused earlier, written differently", a, true, {}, {{}, {"https://A.example:443"}}, V::kRefuse, "person", a},
      {"otherwise ask", "HTTPS://A.Example", true, {}, {{"https://b.example"}, {"https://c.example"}}, V::kAsk, "", a},
      // Entries that are no origins are ignored, in both lists.
      {"odd allowed entries", "https://example.org", true,
       Allowing({"*", "https://*", "example.org", "*.example.org", "https://example.org/", "https://example.org/*"}, kOff),
       {}, V::kRefuse, "policy", "https://example.org"},
      {"odd blocked entries", "https://example.org", true,
       Blocking({"*", "https://*", "example.org", "*.example.org", "https://example.org/", ""}), {}, V::kAsk, "",
       "https://example.org"},
  };
  for (const DecideCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Verdict verdict = Decide(c.origin, c.topLevel, c.policy, c.answers);
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
      {{Listed({}), kUnreadable, PromptSetting::kOn}, "BlockedOrigins"},
      {{kUnreadable, Listed({}), PromptSetting::kOn}, "AllowedOrigins"},
      {{Listed({}), Listed({}), PromptSetting::kUnreadable}, "PromptForOthers"},
  };
  for (const auto& [policy, value] : cases) {
    SCOPED_TRACE(value);
    const Verdict verdict = Decide("HTTPS://A.EXAMPLE", true, policy, {});
    EXPECT_EQ(verdict.description, std::string("系統管理員的原則 ") + value + " 無法讀取，網站 https://a.example 不能使用憑證IC卡");
  }
}

}  // namespace
}  // namespace qelt::bridge
