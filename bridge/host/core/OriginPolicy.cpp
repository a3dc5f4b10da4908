#include "OriginPolicy.h"

#include <optional>

#include "HostTexts.h"
#include "Origin.h"
#include "Protocol.h"

namespace qelt::bridge {
namespace {

Verdict Refuse(const char* reason, const char* text, const std::string& origin, const char* value = "") {
  Verdict verdict;
  verdict.kind = Verdict::Kind::kRefuse;
  verdict.reason = reason;
  verdict.origin = origin;
  verdict.description = text::Fill(text::Fill(text, "origin", origin), "value", value);
  return verdict;
}

Verdict Settle(Verdict::Kind kind, const std::string& origin) {
  Verdict verdict;
  verdict.kind = kind;
  verdict.origin = origin;
  return verdict;
}

// Entries that do not parse (no scheme, "*", a path) are ignored; plain
// http entries count only as exact loopback origins.
bool Covers(const OriginList& list, const Origin& origin, bool forAdmission) {
  for (const auto& text : list.entries) {
    const auto entry = ParseOrigin(text, true);
    if (!entry) continue;
    if (forAdmission && entry->scheme == "http" && (entry->wildcard || !IsLoopbackHost(entry->host))) continue;
    if (EntryMatches(*entry, origin)) return true;
  }
  return false;
}

}  // namespace

bool ListHolds(const std::vector<std::string>& entries, const std::string& origin) {
  for (const auto& text : entries) {
    const auto entry = ParseOrigin(text, false);
    if (entry && entry->Text() == origin) return true;
  }
  return false;
}

Verdict Decide(std::string_view text, bool topLevel, const Policy& policy, const Answers& answers) {
  const auto parsed = ParseOrigin(text, false);
  if (!parsed) return Refuse(reason::kOrigin, text::kNotAnOrigin, std::string(text));
  const std::string origin = parsed->Text();

  if (!policy.blocked.readable) return Refuse(reason::kPolicy, text::kPolicyUnreadable, origin, "BlockedOrigins");
  if (Covers(policy.blocked, *parsed, false)) return Refuse(reason::kPolicy, text::kBlocked, origin);
  if (!policy.allowed.readable) return Refuse(reason::kPolicy, text::kPolicyUnreadable, origin, "AllowedOrigins");
  if (Covers(policy.allowed, *parsed, true)) return Settle(Verdict::Kind::kAdmit, origin);

  // Plain http only by an exact entry, never by an answer of the person.
  if (parsed->scheme == "http") return Refuse(reason::kPolicy, text::kNotAllowed, origin);
  if (policy.prompt == PromptSetting::kUnreadable)
    return Refuse(reason::kPolicy, text::kPolicyUnreadable, origin, "PromptForOthers");
  if (policy.prompt == PromptSetting::kOff) return Refuse(reason::kPolicy, text::kNotAllowed, origin);

  if (ListHolds(answers.approved, origin)) return Settle(Verdict::Kind::kAdmit, origin);
  if (!topLevel) return Refuse(reason::kFrame, text::kFrameNotAdmitted, origin);
  if (ListHolds(answers.refused, origin)) return Refuse(reason::kPerson, text::kPersonRefused, origin);
  return Settle(Verdict::Kind::kAsk, origin);
}

}  // namespace qelt::bridge
