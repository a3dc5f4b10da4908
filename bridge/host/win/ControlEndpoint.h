// Answers a connection with the reader control: the origin decision (policy,
// earlier answers, the box), then one control created through its registered
// class and called by member name.
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <functional>
#include <map>

#include "CardSigning.h"
#include "ConsentBox.h"
#include "ControlPreload.h"
#include "OriginPolicy.h"
#include "PinDialog.h"
#include "Session.h"
#include "win/Resources.h"

namespace qelt::bridge {

class ControlEndpoint : public Endpoint {
 public:
  // owner: the browser window that asked (--parent-window), or null.
  ControlEndpoint(std::function<bool()> inputEnded, HWND owner);

  Verdict Admit(const std::string& origin, bool topLevel, bool userActivation) override;
  Outcome Open() override;
  Outcome Call(const std::string& member, const std::vector<Json>& args) override;
  Outcome Put(const std::string& member, const Json& value) override;
  std::string Version() override;
  std::string Arch() override;
  bool ManagedProxy() override { return policy_.proxy.set; }
  Policy SigningPolicy() override { return policy_; }
  Outcome RunPinOperation(const PinOperation& operation) override;
  bool Representable(char32_t c) override;
  unsigned long long NowMs() override;

 private:
  Outcome Invoke(const std::string& member, WORD flags, const std::vector<Json>& args);
  // The administrator's proxy, set on the control before any page's call.
  Outcome SetManagedProxy();
  // One PIN the person typed, for the operation: wrongPin keeps the dialog open.
  PinTry TryPin(const PinOperation& operation, std::wstring& pin, Outcome& outcome);
  // First: the load runs while the origin is decided, and ends before the
  // endpoint does.
  ControlPreload preload_;
  ConsentBox box_;
  PinDialog pinDialog_;
  CardSigning signing_;
  Policy policy_;      // as the origin was decided by
  std::string origin_;  // the origin admitted
  std::string version_;
  win::ComPtr<IDispatch> control_;
  // Member names exactly as the type library spells them.
  std::map<std::string, DISPID> members_;
};

// The text for a failed HRESULT: the system's, or "OLE error XXXXXXXX".
std::string FailureText(HRESULT hr);

}  // namespace qelt::bridge
