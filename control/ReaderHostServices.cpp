// What a host asks of a control beyond embedding: property browsing (no
// pages), quick activation and the scripting-safety answers.
#include "ComGuard.h"
#include "ReaderControl.h"

namespace qelt::control {

namespace {

constexpr DWORD kSafeOptions = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;

}  // namespace

// IPerPropertyBrowsing

STDMETHODIMP ReaderControl::GetDisplayString(DISPID id, BSTR* text) try {
  if (!text) return E_POINTER;
  *text = nullptr;
  // Only the persistent properties: a card property would read the card.
  bool persistent = false;
  for (const wchar_t* name : kPersistentProperties) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID found = DISPID_UNKNOWN;
    persistent |= SUCCEEDED(GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &found)) && found == id;
  }
  if (!persistent) return E_NOTIMPL;
  win::Variant value, display;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  ThrowIfFailed(Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr));
  ThrowIfFailed(::VariantChangeType(&display, &value, 0, VT_BSTR));
  *text = V_BSTR(&display);
  V_VT(&display) = VT_EMPTY;  // handed over
  return S_OK;
} catch (...) {
  return CurrentResult();
}

STDMETHODIMP ReaderControl::MapPropertyToPage(DISPID, CLSID* page) {
  if (!page) return E_POINTER;
  *page = CLSID_NULL;
  return PERPROP_E_NOPAGEAVAILABLE;
}

STDMETHODIMP ReaderControl::GetPredefinedStrings(DISPID, CALPOLESTR* strings, CADWORD* cookies) {
  if (!strings || !cookies) return E_POINTER;
  *strings = CALPOLESTR{0, nullptr};
  *cookies = CADWORD{0, nullptr};
  return E_NOTIMPL;  // no property has a list of values
}

STDMETHODIMP ReaderControl::GetPredefinedValue(DISPID, DWORD, VARIANT* value) {
  if (value) ::VariantInit(value);
  return E_NOTIMPL;
}

// ISpecifyPropertyPages: none.

STDMETHODIMP ReaderControl::GetPages(CAUUID* pages) {
  if (!pages) return E_POINTER;
  pages->cElems = 0;
  pages->pElems = nullptr;
  return S_OK;
}

// IQuickActivate

STDMETHODIMP ReaderControl::QuickActivate(QACONTAINER* container, QACONTROL* control) try {
  const auto keep = KeepAlive();
  if (!container || !control) return E_POINTER;
  if (control->cbSize < sizeof(QACONTROL)) return E_INVALIDARG;
  ThrowIfFailed(SetClientSite(container->pClientSite));
  if (container->pAdviseSink) ThrowIfFailed(SetAdvise(DVASPECT_CONTENT, 0, container->pAdviseSink));
  control->dwEventCookie = 0;
  control->dwPropNotifyCookie = 0;
  if (container->pUnkEventSink) events_.Advise(container->pUnkEventSink, &control->dwEventCookie);
  if (container->pPropertyNotifySink)
    propertyNotifications_.Advise(container->pPropertyNotifySink, &control->dwPropNotifyCookie);
  control->dwMiscStatus = kMiscStatus;
  control->dwViewStatus = VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND;
  control->dwPointerActivationPolicy = 0;
  return S_OK;
} catch (...) {
  return CurrentResult();
}

STDMETHODIMP ReaderControl::SetContentExtent(LPSIZEL size) { return SetExtent(DVASPECT_CONTENT, size); }
STDMETHODIMP ReaderControl::GetContentExtent(LPSIZEL size) { return GetExtent(DVASPECT_CONTENT, size); }

// IObjectSafety: safe for scripting and for initialisation from untrusted data.

STDMETHODIMP ReaderControl::GetInterfaceSafetyOptions(REFIID riid, DWORD* supported, DWORD* enabled) {
  if (!supported || !enabled) return E_POINTER;
  win::ComPtr<IUnknown> offered;
  const HRESULT hr = QueryInterface(riid, reinterpret_cast<void**>(offered.GetAddressOf()));
  if (FAILED(hr)) {
    *supported = *enabled = 0;
    return hr;
  }
  *supported = kSafeOptions;
  *enabled = safetyEnabled_;
  return S_OK;
}

STDMETHODIMP ReaderControl::SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD enabled) {
  win::ComPtr<IUnknown> offered;
  const HRESULT hr = QueryInterface(riid, reinterpret_cast<void**>(offered.GetAddressOf()));
  if (FAILED(hr)) return hr;
  safetyEnabled_ = mask & enabled & kSafeOptions;
  return S_OK;
}

}  // namespace qelt::control
