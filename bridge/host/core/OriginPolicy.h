// Which origins may use the card: the administrator's policy, the person's
// earlier answers, and when to ask.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace qelt::bridge {

// A policy value as read: its strings, or unreadable (wrong type, access).
struct OriginList {
  bool readable = true;
  std::vector<std::string> entries;
};

enum class PromptSetting { kOn, kOff, kUnreadable };

struct Policy {
  OriginList allowed;  // AllowedOrigins
  OriginList blocked;  // BlockedOrigins
  PromptSetting prompt = PromptSetting::kOn;  // PromptForOthers
};

// The person's answers: Yes for good, No until logoff.
struct Answers {
  std::vector<std::string> approved;
  std::vector<std::string> refused;
};

struct Verdict {
  // kAbandoned: the browser went away before the person answered.
  enum class Kind { kAdmit, kRefuse, kAsk, kAbandoned };
  Kind kind = Kind::kRefuse;
  std::string reason;       // for kRefuse: a reason code of the protocol
  std::string description;  // for kRefuse: the refusal's text
  std::string origin;       // the origin normalised, or as given when it does not parse
};

// Blocked wins; a value that cannot be read refuses what it cannot prove
// allowed; plain http only for loopback origins listed exactly; frames only
// by policy or an earlier Yes.
Verdict Decide(std::string_view origin, bool topLevel, const Policy& policy, const Answers& answers);

// Whether a list of origins (approvals) holds this normalised origin.
bool ListHolds(const std::vector<std::string>& entries, const std::string& origin);

}  // namespace qelt::bridge
