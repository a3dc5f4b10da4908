// In-place activation in the container's window, UI activation and the
// keyboard and frame interfaces that go with it.
#include "ComGuard.h"
#include "ReaderControl.h"

namespace qelt::control {

void ReaderControl::ActivateInPlace(IOleClientSite* site, HWND, LPCRECT, bool uiActivate) {
  if (!window_) {
    IOleClientSite* host = site ? site : clientSite_.Get();
    if (!host) ThrowResult(E_UNEXPECTED);
    win::ComPtr<IOleInPlaceSite> inPlaceSite;
    ThrowIfFailed(host->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(inPlaceSite.GetAddressOf())));
    if (inPlaceSite->CanInPlaceActivate() != S_OK) ThrowResult(E_FAIL);
    ThrowIfFailed(inPlaceSite->OnInPlaceActivate());
    try {
      HWND parent = nullptr;
      ThrowIfFailed(inPlaceSite->GetWindow(&parent));
      RECT position{}, clip{};
      OLEINPLACEFRAMEINFO frameInfo = {};
      frameInfo.cb = sizeof frameInfo;
      win::ComPtr<IOleInPlaceFrame> frame;
      win::ComPtr<IOleInPlaceUIWindow> uiWindow;
      ThrowIfFailed(inPlaceSite->GetWindowContext(&frame, &uiWindow, &position, &clip, &frameInfo));
      window_ = std::make_unique<FormWindow>(parent, position, static_cast<FormWindowListener&>(*this));
      frame_ = frame;
      uiWindow_ = uiWindow;
      inPlaceSite_ = inPlaceSite;
    } catch (...) {
      inPlaceSite->OnInPlaceDeactivate();
      throw;
    }
  }
  ::ShowWindow(window_->Handle(), SW_SHOWNA);
  if (uiActivate) ActivateUI();
}

void ReaderControl::ActivateUI() {
  if (uiActive_ || !inPlaceSite_) return;
  ThrowIfFailed(inPlaceSite_->OnUIActivate());
  uiActive_ = true;
  ::SetFocus(window_->Handle());
  auto* active = static_cast<IOleInPlaceActiveObject*>(this);
  if (frame_) {
    frame_->SetActiveObject(active, class_.className.c_str());
    frame_->SetBorderSpace(nullptr);  // no tools of our own
  }
  if (uiWindow_) {
    uiWindow_->SetActiveObject(active, class_.className.c_str());
    uiWindow_->SetBorderSpace(nullptr);
  }
  Fire(FormEvent::Activate);
}

void ReaderControl::DeactivateUI() noexcept {
  if (!uiActive_) return;
  uiActive_ = false;
  if (uiWindow_) uiWindow_->SetActiveObject(nullptr, nullptr);
  if (frame_) frame_->SetActiveObject(nullptr, nullptr);
  if (inPlaceSite_) inPlaceSite_->OnUIDeactivate(FALSE);
  Fire(FormEvent::Deactivate);
}

// IOleWindow

STDMETHODIMP ReaderControl::GetWindow(HWND* window) {
  if (!window) return E_POINTER;
  *window = window_ ? window_->Handle() : nullptr;
  return window_ ? S_OK : E_FAIL;
}

STDMETHODIMP ReaderControl::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

// IOleInPlaceObject

STDMETHODIMP ReaderControl::InPlaceDeactivate() {
  if (!window_) return S_OK;
  DeactivateUI();
  window_.reset();
  frame_.Reset();
  uiWindow_.Reset();
  win::ComPtr<IOleInPlaceSite> site = std::move(inPlaceSite_);
  site->OnInPlaceDeactivate();
  return S_OK;
}

STDMETHODIMP ReaderControl::UIDeactivate() {
  DeactivateUI();
  return S_OK;
}

STDMETHODIMP ReaderControl::SetObjectRects(LPCRECT position, LPCRECT) {
  if (!position) return E_POINTER;
  if (window_) window_->Move(*position);
  return S_OK;
}

STDMETHODIMP ReaderControl::ReactivateAndUndo() { return INPLACE_E_NOTUNDOABLE; }

// IOleInPlaceActiveObject: no accelerators, tools or modeless windows.

STDMETHODIMP ReaderControl::TranslateAccelerator(LPMSG msg) { return msg ? S_FALSE : E_POINTER; }
STDMETHODIMP ReaderControl::OnFrameWindowActivate(BOOL) { return S_OK; }
STDMETHODIMP ReaderControl::OnDocWindowActivate(BOOL) { return S_OK; }
STDMETHODIMP ReaderControl::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return S_OK; }
STDMETHODIMP ReaderControl::EnableModeless(BOOL) { return S_OK; }

// ISimpleFrameSite: the form holds no child controls whose messages it filters.

STDMETHODIMP ReaderControl::PreMessageFilter(HWND, UINT, WPARAM, LPARAM, LRESULT* result, DWORD* cookie) {
  if (result) *result = 0;
  if (cookie) *cookie = 0;
  return S_OK;  // let the message be processed
}

STDMETHODIMP ReaderControl::PostMessageFilter(HWND, UINT, WPARAM, LPARAM, LRESULT* result, DWORD) {
  if (result) *result = 0;
  return S_OK;
}

}  // namespace qelt::control
