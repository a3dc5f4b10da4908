#include "ConnectionPoint.h"

#include "Enumerators.h"

namespace qelt::control {

ConnectionPoint::ConnectionPoint(IConnectionPointContainer* container, IUnknown* controller, const IID& iid,
                                 size_t limit, std::function<void()> onConnect)
    : container_(container), controller_(controller), iid_(iid), limit_(limit), onConnect_(std::move(onConnect)) {}

STDMETHODIMP ConnectionPoint::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
    *ppv = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) ConnectionPoint::AddRef() { return controller_->AddRef(); }
STDMETHODIMP_(ULONG) ConnectionPoint::Release() { return controller_->Release(); }

STDMETHODIMP ConnectionPoint::GetConnectionInterface(IID* iid) {
  if (!iid) return E_POINTER;
  *iid = iid_;
  return S_OK;
}

STDMETHODIMP ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
  if (!container) return E_POINTER;
  *container = container_;
  container_->AddRef();
  return S_OK;
}

STDMETHODIMP ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) try {
  // The owner lives to the end of the call: the sink may let it go from
  // inside the connection's notice.
  const win::ComPtr<IUnknown> keep = controller_;
  if (!cookie) return E_POINTER;
  *cookie = 0;
  if (!sink) return E_POINTER;
  if (limit_ != kUnlimited && sinks_.size() >= limit_) return CONNECT_E_ADVISELIMIT;
  win::ComPtr<IUnknown> typed;
  // A sink for a dispinterface may answer only to IDispatch.
  if (FAILED(sink->QueryInterface(iid_, reinterpret_cast<void**>(typed.GetAddressOf()))) &&
      FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(typed.GetAddressOf()))))
    return CONNECT_E_CANNOTCONNECT;
  sinks_.emplace(nextCookie_, typed);
  *cookie = nextCookie_++;
  if (onConnect_) onConnect_();
  return S_OK;
} catch (...) {
  return E_OUTOFMEMORY;
}

STDMETHODIMP ConnectionPoint::Unadvise(DWORD cookie) {
  // Released outside the map: a sink's release may call back into us.
  win::ComPtr<IUnknown> sink;
  auto it = sinks_.find(cookie);
  if (it == sinks_.end()) return CONNECT_E_NOCONNECTION;
  sink = std::move(it->second);
  sinks_.erase(it);
  return S_OK;
}

STDMETHODIMP ConnectionPoint::EnumConnections(IEnumConnections** out) try {
  std::vector<CONNECTDATA> items;
  for (const auto& [cookie, sink] : sinks_) items.push_back(CONNECTDATA{sink.Get(), cookie});
  return ConnectionEnumerator::Create(items, out);
} catch (...) {
  return E_OUTOFMEMORY;
}

std::vector<win::ComPtr<IUnknown>> ConnectionPoint::Sinks() const {
  std::vector<win::ComPtr<IUnknown>> out;
  for (const auto& entry : sinks_) out.push_back(entry.second);
  return out;
}

}  // namespace qelt::control
