// One outgoing interface of the control: sinks connect and are numbered
// from 1; a limit of 1 refuses a second sink with CONNECT_E_ADVISELIMIT.
// The point lives inside its container and counts references on it.
#pragma once
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <functional>
#include <map>
#include <vector>

#include "win/Resources.h"

namespace qelt::control {

class ConnectionPoint final : public IConnectionPoint {
 public:
  static constexpr size_t kUnlimited = 0;
  // container: the owner's controlling object, which counts our references.
  // onConnect runs after each successful connection.
  ConnectionPoint(IConnectionPointContainer* container, IUnknown* controller, const IID& iid, size_t limit,
                  std::function<void()> onConnect = {});

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP GetConnectionInterface(IID* iid) override;
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override;
  STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
  STDMETHODIMP Unadvise(DWORD cookie) override;
  STDMETHODIMP EnumConnections(IEnumConnections** out) override;

  const IID& Iid() const { return iid_; }
  // The connected sinks, as their connection interface (or IDispatch).
  std::vector<win::ComPtr<IUnknown>> Sinks() const;
  // Drops every connection (the owner is going away); the sinks are
  // released once the map is empty, since a release may call back into us.
  void Clear() {
    std::map<DWORD, win::ComPtr<IUnknown>> gone;
    gone.swap(sinks_);
  }

 private:
  IConnectionPointContainer* container_;
  IUnknown* controller_;
  IID iid_;
  size_t limit_;
  DWORD nextCookie_ = 1;
  std::function<void()> onConnect_;
  std::map<DWORD, win::ComPtr<IUnknown>> sinks_;
};

}  // namespace qelt::control
