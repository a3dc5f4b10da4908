// The form's events and the connection points that carry them to the host.
#include "ComGuard.h"
#include "Enumerators.h"
#include "ReaderControl.h"

namespace qelt::control {

namespace {

// The event interface's member for each form event, by name: the type
// library decides the DISPID.
const wchar_t* EventName(FormEvent event) {
  switch (event) {
    case FormEvent::Activate: return L"OnActivate";
    case FormEvent::Click: return L"OnClick";
    case FormEvent::Create: return L"OnCreate";
    case FormEvent::DblClick: return L"OnDblClick";
    case FormEvent::Destroy: return L"OnDestroy";
    case FormEvent::Deactivate: return L"OnDeactivate";
    case FormEvent::KeyPress: return L"OnKeyPress";
    case FormEvent::Paint: return L"OnPaint";
  }
  return L"";
}

}  // namespace

void ReaderControl::Deliver(FormEvent event, DISPPARAMS& params) noexcept {
  if (eventsFrozen_ > 0) return;
  LPOLESTR name = const_cast<LPOLESTR>(EventName(event));
  DISPID id = DISPID_UNKNOWN;
  if (FAILED(class_.events->GetIDsOfNames(&name, 1, &id))) return;
  try {
    for (const auto& sink : events_.Sinks()) {
      win::ComPtr<IDispatch> dispatch;
      if (SUCCEEDED(sink.As(&dispatch)))
        dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    }
  } catch (...) {
    // An event that cannot be delivered is dropped; the form goes on.
  }
}

void ReaderControl::Fire(FormEvent event) noexcept {
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  Deliver(event, none);
}

void ReaderControl::FireKeyPress(char& key) noexcept {
  // The key travels widened to a 16-bit integer by reference; the sink may
  // change it, and its low 8 bits become the key.
  SHORT widened = static_cast<SHORT>(static_cast<unsigned char>(key));
  VARIANTARG arg;
  V_VT(&arg) = VT_I2 | VT_BYREF;
  V_I2REF(&arg) = &widened;
  DISPPARAMS params{&arg, nullptr, 1, 0};
  Deliver(FormEvent::KeyPress, params);
  key = static_cast<char>(widened & 0xFF);
}

// The form window's notices: the host may let the control go from inside
// any event, so each holds it to the end.

void ReaderControl::OnFormMouseDown() {
  const auto keep = KeepAlive();
  if (!uiActive_) {
    try {
      ActivateUI();
    } catch (...) {
    }
  }
}

void ReaderControl::OnFormClick() {
  const auto keep = KeepAlive();
  Fire(FormEvent::Click);
}

void ReaderControl::OnFormDblClick() {
  const auto keep = KeepAlive();
  Fire(FormEvent::DblClick);
}

void ReaderControl::OnFormKeyPress(char& key) {
  const auto keep = KeepAlive();
  FireKeyPress(key);
}

void ReaderControl::OnFormPaint() {
  const auto keep = KeepAlive();
  Fire(FormEvent::Paint);
}

// IConnectionPointContainer

STDMETHODIMP ReaderControl::EnumConnectionPoints(IEnumConnectionPoints** points) {
  return ConnectionPointEnumerator::Create({&events_, &propertyNotifications_}, points);
}

STDMETHODIMP ReaderControl::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
  if (!point) return E_POINTER;
  *point = nullptr;
  if (riid == events_.Iid()) *point = &events_;
  else if (riid == propertyNotifications_.Iid()) *point = &propertyNotifications_;
  else return CONNECT_E_NOCONNECTION;
  (*point)->AddRef();
  return S_OK;
}

}  // namespace qelt::control
