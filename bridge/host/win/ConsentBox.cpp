#include "ConsentBox.h"

#include <windows.h>

#include "HostTexts.h"
#include "NamedMutex.h"
#include "win/Text.h"

namespace qelt::bridge {
namespace {

constexpr UINT kCheckEveryMs = 100;

// What the timer of the open box looks at (one box at a time on the host's thread).
struct OpenBox {
  const std::function<bool()>* inputEnded = nullptr;
  ULONGLONG deadline = 0;
  Answer closedBy = Answer::kNo;
  bool closing = false;
};
OpenBox* g_box = nullptr;

BOOL CALLBACK CloseDialog(HWND window, LPARAM) {
  wchar_t name[16] = {};
  ::GetClassNameW(window, name, 16);
  if (lstrcmpW(name, L"#32770") == 0) ::PostMessageW(window, WM_COMMAND, IDNO, 0);
  return TRUE;
}

void CALLBACK CheckBox(HWND, UINT, UINT_PTR, DWORD) {
  if (!g_box || g_box->closing) return;
  const bool ended = (*g_box->inputEnded)();
  if (!ended && ::GetTickCount64() < g_box->deadline) return;
  g_box->closing = true;
  g_box->closedBy = ended ? Answer::kInputEnded : Answer::kNoAnswer;
  ::EnumThreadWindows(::GetCurrentThreadId(), CloseDialog, 0);
}

// A name for the origin's mutex: a hash keeps it short and free of "\".
std::wstring MutexName(const std::string& origin) {
  unsigned long long hash = 1469598103934665603ULL;
  for (unsigned char c : origin) hash = (hash ^ c) * 1099511628211ULL;
  wchar_t name[64];
  wsprintfW(name, L"Local\\QELTReader.Bridge.Box.%08lx%08lx", static_cast<unsigned long>(hash >> 32),
            static_cast<unsigned long>(hash & 0xFFFFFFFF));
  return name;
}

}  // namespace

ConsentBox::ConsentBox(std::function<bool()> inputEnded, unsigned timeoutMs)
    : inputEnded_(std::move(inputEnded)), timeoutMs_(timeoutMs) {}

// The timer that watches the open box, and what it watches, for one scope.
class BoxWatch {
 public:
  explicit BoxWatch(OpenBox& box) : timer_(::SetTimer(nullptr, 0, kCheckEveryMs, CheckBox)) {
    if (timer_) g_box = &box;
  }
  ~BoxWatch() {
    if (timer_) ::KillTimer(nullptr, timer_);
    g_box = nullptr;
  }
  BoxWatch(const BoxWatch&) = delete;
  BoxWatch& operator=(const BoxWatch&) = delete;
  explicit operator bool() const { return timer_ != 0; }

 private:
  UINT_PTR timer_;
};

Answer ConsentBox::Show(const std::string& origin) {
  const std::wstring text = win::Utf8ToWide(text::Fill(text::kBoxText, "origin", origin));
  const std::wstring title = win::Utf8ToWide(text::kBoxTitle);
  OpenBox box;
  box.inputEnded = &inputEnded_;
  box.deadline = ::GetTickCount64() + timeoutMs_;
  const BoxWatch watch(box);
  // A box that could neither close itself nor be shown is no one's answer.
  if (!watch) return Answer::kNoAnswer;
  const int pressed = ::MessageBoxW(nullptr, text.c_str(), title.c_str(),
                                    MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2 | MB_TOPMOST | MB_SETFOREGROUND);
  if (box.closing) return box.closedBy;
  if (pressed == IDYES) return Answer::kYes;
  return pressed == IDNO ? Answer::kNo : Answer::kNoAnswer;
}

Answer ConsentBox::Ask(const std::string& origin, const std::function<bool()>& stillUndecided,
                       const std::function<void(bool yes)>& remember) {
  NamedMutex mutex(MutexName(origin));
  HANDLE handle = mutex.get();
  // Wait for the turn while window messages keep flowing and input may end.
  for (;;) {
    if (inputEnded_()) return Answer::kInputEnded;
    const DWORD status = handle ? ::MsgWaitForMultipleObjects(1, &handle, FALSE, kCheckEveryMs, QS_ALLINPUT) : WAIT_OBJECT_0;
    if (status == WAIT_OBJECT_0 || status == WAIT_ABANDONED_0) break;
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  const MutexTurn turn(handle, true);
  if (!stillUndecided()) return Answer::kSettledMeanwhile;
  const Answer answer = Show(origin);
  if (answer == Answer::kYes || answer == Answer::kNo) remember(answer == Answer::kYes);
  return answer;
}

}  // namespace qelt::bridge
