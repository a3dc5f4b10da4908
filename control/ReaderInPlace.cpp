// In-place activation in the container's window, UI activation and the
// keyboard and frame interfaces that go with it.
#include "ComGuard.h"
#include "ReaderControl.h"

namespace qelt::control {

void ReaderControl::ActivateInPlace(IOleClientSite* site, HWND, LPCRECT, bool uiActivate) {
  if (TearingDown()) ThrowResult(E_UNEXPECTED);
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
      auto window = std::make_unique<FormWindow>(parent, position, static_cast<FormWindowListener&>(*this));
      // The container was called meanwhile: it may have activated or closed us.
      if (window_ || TearingDown()) ThrowResult(E_UNEXPECTED);
      window_ = std::move(window);
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
  if (uiActive_ || !inPlaceSite_ || !window_) return;
  if (TearingDown()) ThrowResult(E_UNEXPECTED);
  // Marked before the container hears of it, so that a deactivation from
  // inside any call below undoes whatever was done; after each call the
  // activation goes on only while it stands.
  uiActive_ = true;
  const win::ComPtr<IOleInPlaceSite> site = inPlaceSite_;
  const win::ComPtr<IOleInPlaceFrame> frame = frame_;
  const win::ComPtr<IOleInPlaceUIWindow> uiWindow = uiWindow_;
  const HWND window = window_->Handle();
  const HRESULT hr = site->OnUIActivate();
  if (FAILED(hr)) {
    uiActive_ = false;
    ThrowResult(hr);
  }
  if (uiActive_) ::SetFocus(window);
  auto* active = static_cast<IOleInPlaceActiveObject*>(this);
  if (frame && uiActive_) {
    frame->SetActiveObject(active, class_.className.c_str());
    frame->SetBorderSpace(nullptr);  // no tools of our own
  }
  if (uiWindow && uiActive_) {
    uiWindow->SetActiveObject(active, class_.className.c_str());
    uiWindow->SetBorderSpace(nullptr);
  }
  if (uiActive_) Fire(FormEvent::Activate);
}

void ReaderControl::DeactivateUI() noexcept {
  if (!uiActive_) return;
  // Marked and taken before the container hears of it; activation is
  // refused until the deactivate event has run.
  uiActive_ = false;
  ScopedFlag deactivating(uiDeactivating_);
  const win::ComPtr<IOleInPlaceUIWindow> uiWindow = uiWindow_;
  const win::ComPtr<IOleInPlaceFrame> frame = frame_;
  const win::ComPtr<IOleInPlaceSite> site = inPlaceSite_;
  if (uiWindow) uiWindow->SetActiveObject(nullptr, nullptr);
  if (frame) frame->SetActiveObject(nullptr, nullptr);
  if (site) site->OnUIDeactivate(FALSE);
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
  const auto keep = KeepAlive();
  // Called again from inside its own events, it finds the work under way.
  if (!window_ || inPlaceDeactivating_) return S_OK;
  ScopedFlag deactivating(inPlaceDeactivating_);
  DeactivateUI();
  // Whatever the deactivate event did, the window and the container's
  // objects leave the members now; the calls that follow use these alone.
  std::unique_ptr<FormWindow> window = std::move(window_);
  win::ComPtr<IOleInPlaceFrame> frame = std::move(frame_);
  win::ComPtr<IOleInPlaceUIWindow> uiWindow = std::move(uiWindow_);
  win::ComPtr<IOleInPlaceSite> site = std::move(inPlaceSite_);
  window.reset();
  frame.Reset();
  uiWindow.Reset();
  if (site) site->OnInPlaceDeactivate();
  return S_OK;
}

STDMETHODIMP ReaderControl::UIDeactivate() {
  const auto keep = KeepAlive();
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
