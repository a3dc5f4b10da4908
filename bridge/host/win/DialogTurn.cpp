#include "DialogTurn.h"

namespace qelt::bridge {
namespace {
constexpr DWORD kTurnCheckEveryMs = 100;
}

DialogTurn::DialogTurn(const std::wstring& name, const std::function<bool()>& inputEnded) : mutex_(name) {
  HANDLE handle = mutex_.get();
  for (;;) {
    if (inputEnded()) return;
    if (!handle) break;
    const DWORD status = ::MsgWaitForMultipleObjects(1, &handle, FALSE, kTurnCheckEveryMs, QS_ALLINPUT);
    if (status == WAIT_OBJECT_0 || status == WAIT_ABANDONED_0) {
      held_ = true;
      break;
    }
    if (status == WAIT_FAILED) break;
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        // The thread is asked to end: leave the request for its own loop.
        ::PostQuitMessage(static_cast<int>(message.wParam));
        return;
      }
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  taken_ = true;
}

DialogTurn::~DialogTurn() {
  if (held_) ::ReleaseMutex(mutex_.get());
}

}  // namespace qelt::bridge
