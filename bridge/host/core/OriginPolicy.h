// Which origins may use the card: the administrator's policy, the person's
// earlier answers, and when to ask.
#pragma once
#include <cstdint>
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

// The proxy the administrator sets for every control (ProxyServer and its
// companions); set when ProxyServer exists, even empty.
struct ManagedProxy {
  bool set = false;
  const char* unreadable = nullptr;  // the value that could not be read, if any
  std::string server, user, pass;
  std::int32_t port = 0;
};

struct Policy {
  OriginList allowed;  // AllowedOrigins
  OriginList blocked;  // BlockedOrigins
  PromptSetting prompt = PromptSetting::kOn;  // PromptForOthers
  ManagedProxy proxy;
  // PinFromPages: a page may still hand checkPin and checkCard a PIN.
  bool pinFromPages = true;
  // SigningOrigins: sign-in and signing only for origins AllowedOrigins lists.
  bool signingOrigins = false;
};

// A box nobody answered: its origin and when it closed (seconds since 1970).
struct Unanswered {
  std::string origin;
  std::int64_t at = 0;
};

// The person's answers: Yes for good, No (for the host name) until logoff,
// no answer for a while.
struct Answers {
  std::vector<std::string> approved;
  std::vector<std::string> refused;
  std::vector<Unanswered> unanswered;
  std::int64_t now = 0;  // seconds since 1970, for the unanswered
};

// "ORIGIN SECONDS", as the unanswered boxes are kept; false for other text.
bool ParseUnanswered(std::string_view text, Unanswered& out);
std::string UnansweredText(const Unanswered& entry);

struct Verdict {
  // kAbandoned: the browser went away before the person answered.
  enum class Kind { kAdmit, kRefuse, kAsk, kAbandoned };
  Kind kind = Kind::kRefuse;
  std::string reason;       // for kRefuse: a reason code of the protocol
  std::string description;  // for kRefuse: the refusal's text
  std::string origin;       // the origin normalised, or as given when it does not parse
  bool listed = false;      // admitted because AllowedOrigins lists it
};

// Blocked wins, and a block list that cannot be read or understood blocks
// everything; a value that cannot be read refuses what it cannot prove
// allowed; plain http only for loopback origins listed exactly; frames only
// by policy or an earlier Yes; the box only for a person who just acted on
// the page (userActivation), before anything remembered is told.
Verdict Decide(std::string_view origin, bool topLevel, bool userActivation, const Policy& policy,
               const Answers& answers);

// Whether a list of origins (approvals) holds this normalised origin.
bool ListHolds(const std::vector<std::string>& entries, const std::string& origin);

}  // namespace qelt::bridge
