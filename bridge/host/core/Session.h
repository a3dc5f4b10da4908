// One connection's protocol on the host's main thread: the hello and its
// origin decision, then calls and puts in order. What answers them (the
// control, or an echo for measuring) is behind Endpoint.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "OriginPolicy.h"
#include "Request.h"

namespace qelt::bridge {

struct Outcome {
  bool ok = true;
  Json value;  // ok: the result (a scalar)
  std::int32_t number = 0;
  std::string description;
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
};

class Session {
 public:
  explicit Session(Endpoint& endpoint) : endpoint_(endpoint) {}

  struct Step {
    std::vector<std::string> replies;  // JSON texts, in order
    bool end = false;
    int exitCode = 0;
  };
  // duplicate: the request's id is already that of a call still pending.
  Step Handle(const Request& request, bool duplicate = false);

 private:
  Step Hello(const Request& request);
  Endpoint& endpoint_;
  bool admitted_ = false;
};

}  // namespace qelt::bridge
