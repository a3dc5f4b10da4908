// qelt-bridge-echo.exe: the bridge host's own loop, framing and process with
// an endpoint that admits every origin, opens nothing and answers every call
// at once, so that what the bridge costs beyond its control can be measured.
#include <memory>

#include "HostLoop.h"

namespace qelt::bridge {
namespace {

class EchoEndpoint : public Endpoint {
 public:
  Verdict Admit(const std::string& origin, bool topLevel, bool) override {
    Verdict verdict;
    verdict.kind = Verdict::Kind::kAdmit;
    verdict.origin = origin;
    return verdict;
  }
  Outcome Open() override { return {}; }
  // What the control's ver answers, for any member.
  Outcome Call(const std::string& member, const std::vector<Json>& args) override {
    Outcome outcome;
    outcome.value = "3.0";
    return outcome;
  }
  Outcome Put(const std::string& member, const Json& value) override { return {}; }
  std::string Version() override { return QELT_ECHO_VERSION; }
  std::string Arch() override { return sizeof(void*) == 8 ? "x64" : "x86"; }
  Outcome RunPinOperation(const PinOperation&) override { return {}; }
  unsigned long long NowMs() override { return 0; }
};

}  // namespace
}  // namespace qelt::bridge

int main() {
  return qelt::bridge::RunHost(
      [](std::function<bool()>) { return std::make_unique<qelt::bridge::EchoEndpoint>(); });
}
