// Answers a connection with the reader control: the origin decision (policy,
// earlier answers, the box), then one control created through its registered
// class and called by member name.
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <functional>
#include <map>

#include "ConsentBox.h"
#include "ControlPreload.h"
#include "Session.h"
#include "win/Resources.h"

namespace qelt::bridge {

class ControlEndpoint : public Endpoint {
 public:
  explicit ControlEndpoint(std::function<bool()> inputEnded);

  Verdict Admit(const std::string& origin, bool topLevel) override;
  Outcome Open() override;
  Outcome Call(const std::string& member, const std::vector<Json>& args) override;
  Outcome Put(const std::string& member, const Json& value) override;
  std::string Version() override;
  std::string Arch() override;

 private:
  Outcome Invoke(const std::string& member, WORD flags, const std::vector<Json>& args);
  // First: the load runs while the origin is decided, and ends before the
  // endpoint does.
  ControlPreload preload_;
  ConsentBox box_;
  win::ComPtr<IDispatch> control_;
  // Member names exactly as the type library spells them.
  std::map<std::string, DISPID> members_;
};

// The text for a failed HRESULT: the system's, or "OLE error XXXXXXXX".
std::string FailureText(HRESULT hr);

}  // namespace qelt::bridge
