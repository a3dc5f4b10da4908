#include "FormWindow.h"

#include <utility>

#include "ComGuard.h"
#include "FormDesign.h"
#include "ServerState.h"
#include "win/Text.h"

namespace qelt::control {

namespace {

constexpr const wchar_t* kClassName = L"QELTReaderForm";

void RegisterClassOnce() {
  WNDCLASSEXW existing = {};
  existing.cbSize = sizeof existing;
  if (::GetClassInfoExW(server::Module(), kClassName, &existing)) return;
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = ::DefWindowProcW;
  wc.hInstance = server::Module();
  wc.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.lpszClassName = kClassName;
  if (!::RegisterClassExW(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    throw Exception(win::SystemMessage(::GetLastError()));
}

}  // namespace

FormWindow::FormWindow(HWND parent, const RECT& position, FormWindowListener& listener) : listener_(listener) {
  RegisterClassOnce();
  HWND window = ::CreateWindowExW(0, kClassName, kFormCaption, WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_TABSTOP,
                                  position.left, position.top, position.right - position.left,
                                  position.bottom - position.top, parent, nullptr, server::Module(), nullptr);
  if (!window) throw Exception(win::SystemMessage(::GetLastError()));
  window_.reset(window);
  ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&FormWindow::Procedure));
  ::ShowWindow(window, SW_SHOWNA);
}

FormWindow::~FormWindow() {
  // The messages of the window's destruction find no object behind it.
  if (window_) ::SetWindowLongPtrW(window_.get(), GWLP_USERDATA, 0);
}

void FormWindow::Move(const RECT& position) {
  ::MoveWindow(Handle(), position.left, position.top, position.right - position.left, position.bottom - position.top,
               TRUE);
}

void FormWindow::UnregisterClass() { ::UnregisterClassW(kClassName, server::Module()); }

LRESULT CALLBACK FormWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<FormWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self || message == WM_NCDESTROY) return ::DefWindowProcW(window, message, wParam, lParam);
  return self->Handle(message, wParam, lParam);
}

LRESULT FormWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND window = Handle();
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = ::BeginPaint(window, &paint);
      RECT client;
      ::GetClientRect(window, &client);
      DrawForm(dc, client);
      ::EndPaint(window, &paint);
      listener_.OnFormPaint();
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;  // painted whole in WM_PAINT
    case WM_LBUTTONDOWN:
      buttonDown_ = true;
      listener_.OnFormMouseDown();
      return 0;
    case WM_LBUTTONUP:
      if (std::exchange(buttonDown_, false)) listener_.OnFormClick();
      return 0;
    case WM_LBUTTONDBLCLK:
      listener_.OnFormDblClick();
      return 0;
    case WM_CHAR: {
      char key = static_cast<char>(wParam);
      listener_.OnFormKeyPress(key);
      return 0;
    }
    default:
      return ::DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace qelt::control
