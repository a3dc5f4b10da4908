// One connection's protocol on the host's main thread: the hello and its
// origin decision, then calls and puts in order. What answers them (the
// control, or an echo for measuring) is behind Endpoint.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "OriginPolicy.h"
#include "Reply.h"
#include "Request.h"

namespace qelt::bridge {

struct Outcome {
  bool ok = true;
  Json value;                   // ok: the result (a scalar)
  std::optional<Ordered> token;  // ok: a sign-in's or signature's token instead
  std::int32_t number = 0;
  std::string description;
  std::string reason;      // the host's own refusal of a PIN operation
  bool abandoned = false;  // input ended while the person was asked: no reply
};

// A PIN operation the session let through: the dialog, then the card.
struct PinOperation {
  enum class Kind { kAuthenticate, kSign, kCheckPin, kCheckCard };
  Kind kind = Kind::kCheckPin;
  std::string text;  // the challenge, or the text to sign
};

class Endpoint {
 public:
  virtual ~Endpoint() = default;
  // The origin decision, the person asked if the policy says so and the
  // person asked for it (userActivation): kAdmit, kRefuse, or kAbandoned
  // when input ended while the box was open.
  virtual Verdict Admit(const std::string& origin, bool topLevel, bool userActivation) = 0;
  // Creates what answers the calls; !ok when it cannot be had.
  virtual Outcome Open() = 0;
  virtual Outcome Call(const std::string& member, const std::vector<Json>& args) = 0;
  virtual Outcome Put(const std::string& member, const Json& value) = 0;
  virtual std::string Version() = 0;
  virtual std::string Arch() = 0;
  // Whether the administrator set the proxy of every control (after Open).
  virtual bool ManagedProxy() { return false; }
  // The policy for PIN operations, as the origin was decided by.
  virtual Policy SigningPolicy() { return {}; }
  // Asks for the PIN in the host's dialog and runs the operation.
  virtual Outcome RunPinOperation(const PinOperation& operation) = 0;
  // Whether the code page the card's texts are in holds the character exactly.
  virtual bool Representable(char32_t c) { return c < 0x80; }
  // A monotonic clock, in milliseconds.
  virtual unsigned long long NowMs() = 0;
};

class Session {
 public:
  explicit Session(Endpoint& endpoint) : endpoint_(endpoint) {}

  struct Step {
    std::vector<std::string> replies;  // JSON texts, in order
    bool end = false;
    int exitCode = 0;
  };
  // duplicate: the request's id is already that of a call still pending;
  // busy: a PIN operation arrived while another was waiting.
  Step Handle(const Request& request, bool duplicate = false, bool busy = false);

 private:
  Step Hello(const Request& request);
  // The reply to a PIN operation, or nothing when input ended meanwhile.
  std::optional<std::string> PinOperationReply(const Request& request, bool busy);
  std::string Refusal(const Request& request, std::int32_t number, const char* text, const char* reason) const;
  Endpoint& endpoint_;
  bool admitted_ = false;
  Verdict admission_;
  bool helloActivation_ = false;
  bool topLevel_ = false;
  unsigned long long readyAt_ = 0;
  bool pinOperationSeen_ = false;
};

}  // namespace qelt::bridge
