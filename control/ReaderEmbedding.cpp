// IOleObject and IOleControl: the control's life in its container.
#include <ocidl.h>

#include <vector>

#include "ComGuard.h"
#include "Enumerators.h"
#include "ReaderControl.h"

namespace qelt::control {

namespace {

HRESULT CopyString(const std::wstring& text, LPOLESTR* out) {
  const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  *out = static_cast<LPOLESTR>(::CoTaskMemAlloc(bytes));
  if (!*out) return E_OUTOFMEMORY;
  ::CopyMemory(*out, text.c_str(), bytes);
  return S_OK;
}

}  // namespace

STDMETHODIMP ReaderControl::SetClientSite(IOleClientSite* site) {
  clientSite_ = site;
  return S_OK;
}

STDMETHODIMP ReaderControl::GetClientSite(IOleClientSite** site) {
  if (!site) return E_POINTER;
  *site = clientSite_.Get();
  if (*site) (*site)->AddRef();
  return S_OK;
}

STDMETHODIMP ReaderControl::SetHostNames(LPCOLESTR, LPCOLESTR) {
  return S_OK;  // an inside-out control never opens a window of its own to title
}

STDMETHODIMP ReaderControl::Close(DWORD saveOption) try {
  const auto keep = KeepAlive();
  if (closing_) return S_OK;  // called again from inside its own events
  ScopedFlag closing(closing_);
  if (window_) InPlaceDeactivate();
  const win::ComPtr<IOleClientSite> site = clientSite_;
  if (dirty_ && site && (saveOption == OLECLOSE_SAVEIFDIRTY || saveOption == OLECLOSE_PROMPTSAVE))
    ThrowIfFailed(site->SaveObject());
  if (const win::ComPtr<IOleAdviseHolder> holder = oleAdvise_) holder->SendOnClose();
  return S_OK;
} catch (...) {
  return CurrentResult();
}

STDMETHODIMP ReaderControl::SetMoniker(DWORD, IMoniker* moniker) {
  if (oleAdvise_ && moniker) oleAdvise_->SendOnRename(moniker);
  return S_OK;
}

STDMETHODIMP ReaderControl::GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) {
  if (!moniker) return E_POINTER;
  *moniker = nullptr;
  if (!clientSite_) return E_UNEXPECTED;
  return clientSite_->GetMoniker(assign, which, moniker);
}

STDMETHODIMP ReaderControl::InitFromData(IDataObject*, BOOL, DWORD) { return E_NOTIMPL; }

STDMETHODIMP ReaderControl::GetClipboardData(DWORD, IDataObject** data) {
  if (data) *data = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP ReaderControl::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent,
                                   LPCRECT position) try {
  const auto keep = KeepAlive();
  switch (verb) {
    case OLEIVERB_PRIMARY: {
      // "Properties": the control has no pages of its own, so the
      // container shows its frame for it.
      win::ComPtr<IOleControlSite> controlSite;
      IOleClientSite* host = site ? site : clientSite_.Get();
      if (host && SUCCEEDED(host->QueryInterface(IID_IOleControlSite, reinterpret_cast<void**>(controlSite.GetAddressOf()))))
        return controlSite->ShowPropertyFrame();
      return OLEOBJ_S_CANNOT_DOVERB_NOW;
    }
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
      ActivateInPlace(site, parent, position, false);
      return S_OK;
    case OLEIVERB_UIACTIVATE:
      ActivateInPlace(site, parent, position, true);
      return S_OK;
    case OLEIVERB_HIDE:
      DeactivateUI();
      if (window_) ::ShowWindow(window_->Handle(), SW_HIDE);  // unless the deactivate event removed it
      return S_OK;
    case OLEIVERB_DISCARDUNDOSTATE:
      return S_OK;  // nothing to undo
    default:
      return verb > 0 ? OLEOBJ_S_INVALIDVERB : E_NOTIMPL;
  }
} catch (...) {
  return CurrentResult();
}

STDMETHODIMP ReaderControl::EnumVerbs(IEnumOLEVERB** verbs) {
  const OLEVERB properties{0, const_cast<LPOLESTR>(kVerbName), kVerbMenuFlags, kVerbAttributes};
  return VerbEnumerator::Create({properties}, verbs);
}

STDMETHODIMP ReaderControl::Update() { return S_OK; }      // no linked sources to refresh
STDMETHODIMP ReaderControl::IsUpToDate() { return S_OK; }  // likewise

STDMETHODIMP ReaderControl::GetUserClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = class_.classId;
  return S_OK;
}

STDMETHODIMP ReaderControl::GetUserType(DWORD form, LPOLESTR* type) {
  if (!type) return E_POINTER;
  return CopyString(form == USERCLASSTYPE_FULL ? class_.description : class_.className, type);
}

STDMETHODIMP ReaderControl::SetExtent(DWORD aspect, SIZEL* size) {
  if (!size) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (size->cx != extent_.cx || size->cy != extent_.cy) {
    extent_ = *size;
    dirty_ = true;
    ViewChanged();
  }
  return S_OK;
}

STDMETHODIMP ReaderControl::GetExtent(DWORD aspect, SIZEL* size) {
  if (!size) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  *size = extent_;
  return S_OK;
}

STDMETHODIMP ReaderControl::Advise(IAdviseSink* sink, DWORD* connection) {
  if (!oleAdvise_) {
    const HRESULT hr = ::CreateOleAdviseHolder(&oleAdvise_);
    if (FAILED(hr)) return hr;
  }
  return oleAdvise_->Advise(sink, connection);
}

STDMETHODIMP ReaderControl::Unadvise(DWORD connection) {
  return oleAdvise_ ? oleAdvise_->Unadvise(connection) : OLE_E_NOCONNECTION;
}

STDMETHODIMP ReaderControl::EnumAdvise(IEnumSTATDATA** advise) {
  if (!advise) return E_POINTER;
  *advise = nullptr;
  return oleAdvise_ ? oleAdvise_->EnumAdvise(advise) : E_FAIL;
}

STDMETHODIMP ReaderControl::GetMiscStatus(DWORD aspect, DWORD* status) {
  if (!status) return E_POINTER;
  *status = aspect == DVASPECT_CONTENT ? kMiscStatus : 0;
  return aspect == DVASPECT_CONTENT ? S_OK : DV_E_DVASPECT;
}

STDMETHODIMP ReaderControl::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

// IOleControl

STDMETHODIMP ReaderControl::GetControlInfo(CONTROLINFO* info) {
  if (!info) return E_POINTER;
  // No mnemonics: the form has no controls to reach by keyboard.
  info->cb = sizeof(CONTROLINFO);
  info->hAccel = nullptr;
  info->cAccel = 0;
  info->dwFlags = 0;
  return S_OK;
}

STDMETHODIMP ReaderControl::OnMnemonic(MSG*) { return E_NOTIMPL; }

STDMETHODIMP ReaderControl::OnAmbientPropertyChange(DISPID) {
  // The form draws in fixed system colours and reads no ambient property.
  return S_OK;
}

STDMETHODIMP ReaderControl::FreezeEvents(BOOL freeze) {
  eventsFrozen_ += freeze ? 1 : (eventsFrozen_ > 0 ? -1 : 0);
  return S_OK;
}

void ReaderControl::ViewChanged() noexcept {
  const auto keep = KeepAlive();
  if (viewSink_ && (viewAspects_ & DVASPECT_CONTENT)) {
    // Taken first: the sink may advise anew, or let us go, from inside.
    win::ComPtr<IAdviseSink> sink = viewSink_;
    if (viewFlags_ & ADVF_ONLYONCE) viewSink_.Reset();
    sink->OnViewChange(DVASPECT_CONTENT, -1);
  }
  if (const win::ComPtr<IDataAdviseHolder> holder = dataAdvise_) holder->SendOnDataChange(this, 0, 0);
}

}  // namespace qelt::control
