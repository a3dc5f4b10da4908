#include "OriginPolicy.h"

#include <optional>

#include "HostTexts.h"
#include "Origin.h"
#include "Protocol.h"

namespace qelt::bridge {
namespace {

Verdict Refuse(const char* reason, const char* text, const std::string& origin, std::string_view value = "") {
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

// Allowed entries that do not parse (no scheme, "*", a path) are ignored;
// plain http entries count only as exact loopback origins.
bool Allows(const OriginList& list, const Origin& origin) {
  for (const auto& text : list.entries) {
    const auto entry = ParseOrigin(text, true);
    if (!entry) continue;
    if (entry->scheme == "http" && (entry->wildcard || !IsLoopbackHost(entry->host))) continue;
    if (EntryMatches(*entry, origin)) return true;
  }
  return false;
}

bool IsBlank(const std::string& text) { return text.find_first_not_of(" \t\r\n") == std::string::npos; }

// The block list fails closed: an entry it cannot understand blocks all.
std::optional<Verdict> Blocked(const OriginList& list, const Origin& origin, const std::string& text) {
  if (!list.readable) return Refuse(reason::kPolicy, text::kPolicyUnreadable, text, "BlockedOrigins");
  for (const auto& entry : list.entries) {
    if (IsBlank(entry)) continue;
    const auto rule = ParseBlockRule(entry);
    if (!rule) return Refuse(reason::kPolicy, text::kBlockedEntryInvalid, text, entry.c_str());
    if (BlockMatches(*rule, origin)) return Refuse(reason::kPolicy, text::kBlocked, text);
  }
  return std::nullopt;
}

// A No covers its host name, whatever the scheme or port.
bool RefusedHost(const std::vector<std::string>& refused, const Origin& origin) {
  for (const auto& text : refused) {
    const auto entry = ParseOrigin(text, false);
    if (entry && entry->host == origin.host) return true;
  }
  return false;
}

bool RecentlyUnanswered(const Answers& answers, const std::string& origin) {
  for (const auto& entry : answers.unanswered) {
    if (answers.now - entry.at >= kUnansweredMemorySeconds || entry.at > answers.now + 60) continue;
    if (ListHolds({entry.origin}, origin)) return true;
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

bool ParseUnanswered(std::string_view text, Unanswered& out) {
  const auto space = text.rfind(' ');
  if (space == std::string_view::npos || space + 1 == text.size() || text.size() - space > 19) return false;
  std::int64_t at = 0;
  for (const char c : text.substr(space + 1)) {
    if (c < '0' || c > '9') return false;
    at = at * 10 + (c - '0');
  }
  out.origin = std::string(text.substr(0, space));
  out.at = at;
  return true;
}

std::string UnansweredText(const Unanswered& entry) { return entry.origin + " " + std::to_string(entry.at); }

Verdict Decide(std::string_view text, bool topLevel, bool userActivation, const Policy& policy,
               const Answers& answers) {
  const auto parsed = ParseOrigin(text, false);
  if (!parsed) return Refuse(reason::kOrigin, text::kNotAnOrigin, std::string(text));
  const std::string origin = parsed->Text();

  if (auto blocked = Blocked(policy.blocked, *parsed, origin)) return *blocked;
  if (policy.proxy.unreadable) return Refuse(reason::kPolicy, text::kPolicyUnreadable, origin, policy.proxy.unreadable);
  if (!policy.allowed.readable) return Refuse(reason::kPolicy, text::kPolicyUnreadable, origin, "AllowedOrigins");
  if (Allows(policy.allowed, *parsed)) {
    Verdict verdict = Settle(Verdict::Kind::kAdmit, origin);
    verdict.listed = true;
    return verdict;
  }

  // Plain http only by an exact entry, never by an answer of the person.
  if (parsed->scheme == "http") return Refuse(reason::kPolicy, text::kNotAllowed, origin);
  if (policy.prompt == PromptSetting::kUnreadable)
    return Refuse(reason::kPolicy, text::kPolicyUnreadable, origin, "PromptForOthers");
  if (policy.prompt == PromptSetting::kOff) return Refuse(reason::kPolicy, text::kNotAllowed, origin);

  if (ListHolds(answers.approved, origin)) return Settle(Verdict::Kind::kAdmit, origin);
  if (!topLevel) return Refuse(reason::kFrame, text::kFrameNotAdmitted, origin);
  // Without a gesture a page learns nothing of what the person answered before.
  if (!userActivation) return Refuse(reason::kActivation, text::kNeedsActivation, origin);
  if (RefusedHost(answers.refused, *parsed)) return Refuse(reason::kPerson, text::kPersonRefused, origin);
  if (RecentlyUnanswered(answers, origin)) return Refuse(reason::kTimeout, text::kNoAnswer, origin);
  return Settle(Verdict::Kind::kAsk, origin);
}

}  // namespace qelt::bridge
