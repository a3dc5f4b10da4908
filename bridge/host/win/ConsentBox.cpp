#include "ConsentBox.h"

#include <algorithm>

#include "DialogTemplate.h"
#include "DialogTurn.h"
#include "HostTexts.h"
#include "win/Resources.h"
#include "win/Text.h"

namespace qelt::bridge {
namespace {

constexpr UINT kCheckEveryMs = 100;
// A box that springs up under a person's typing or clicking must not take
// that input as the answer.
constexpr ULONGLONG kDeafMs = 1000;
constexpr WORD kTextId = 0xFFFF;  // where tools read a box's text, as in a message box
constexpr WORD kIconId = 0x0014;

// What the open box's procedure and its message loop share.
struct OpenBox {
  const std::function<bool()>* inputEnded = nullptr;
  ULONGLONG shownAt = ~0ULL;  // nothing counts before the box is on screen
  ULONGLONG deadline = ~0ULL;
  bool done = false;
  Answer answer = Answer::kNoAnswer;
};

bool Deaf(const OpenBox& box) {
  const ULONGLONG now = ::GetTickCount64();
  return now < box.shownAt || now - box.shownAt < kDeafMs;
}

void Settle(HWND dialog, OpenBox& box, Answer answer) {
  if (box.done) return;
  box.done = true;
  box.answer = answer;
  ::PostMessageW(dialog, WM_NULL, 0, 0);  // wakes the loop after a sent message
}

// Input on its way to the box that must not reach the buttons: any key or
// press made in the first second (however late a busy host reads it), and
// the repeats of a key held down since then or since before the box came.
bool Swallowed(const MSG& message, const OpenBox& box, HWND dialog) {
  if (message.hwnd != dialog && !::IsChild(dialog, message.hwnd)) return false;
  const bool early =
      Deaf(box) || static_cast<LONG>(message.time - static_cast<DWORD>(box.shownAt)) < static_cast<LONG>(kDeafMs);
  switch (message.message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_CHAR:
    case WM_SYSCHAR:
      return early || (message.lParam & (1L << 30)) != 0;
    case WM_KEYUP:
    case WM_SYSKEYUP:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      return early;
    default:
      return false;
  }
}

// Sizes the text to fit, puts the icon beside it and the buttons below on
// the right, and centres the box on its owner or on the screen.
void Layout(HWND dialog, HWND owner) {
  RECT units{7, 7, 50, 14};  // margins, a button's size
  ::MapDialogRect(dialog, &units);
  RECT wide{4, 0, 280, 0};  // the gap between buttons, the widest text
  ::MapDialogRect(dialog, &wide);
  const int margin = units.left, gap = wide.left, buttonW = units.right, buttonH = units.bottom;
  const int iconW = ::GetSystemMetrics(SM_CXICON), iconH = ::GetSystemMetrics(SM_CYICON);

  HWND label = ::GetDlgItem(dialog, kTextId);
  const int length = ::GetWindowTextLengthW(label);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  ::GetWindowTextW(label, &text[0], length + 1);
  RECT textRect{0, 0, wide.right, 0};
  if (HDC dc = ::GetDC(label)) {
    HGDIOBJ font = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(dialog, WM_GETFONT, 0, 0)));
    ::DrawTextW(dc, text.c_str(), length, &textRect,
                DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX | DT_EXPANDTABS);
    ::SelectObject(dc, font);
    ::ReleaseDC(label, dc);
  }
  const int textX = margin + iconW + margin;
  const int contentH = std::max<int>(iconH, textRect.bottom);
  const int clientW =
      std::max<int>(textX + textRect.right + margin, margin + buttonW + gap + buttonW + margin);
  const int buttonY = margin + contentH + margin;
  const int clientH = buttonY + buttonH + margin;
  ::MoveWindow(::GetDlgItem(dialog, kIconId), margin, margin, iconW, iconH, FALSE);
  ::MoveWindow(label, textX, margin, textRect.right, textRect.bottom, FALSE);
  ::MoveWindow(::GetDlgItem(dialog, IDNO), clientW - margin - buttonW, buttonY, buttonW, buttonH, FALSE);
  ::MoveWindow(::GetDlgItem(dialog, IDYES), clientW - margin - 2 * buttonW - gap, buttonY, buttonW, buttonH,
               FALSE);

  RECT frame{0, 0, clientW, clientH};
  ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongW(dialog, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(::GetWindowLongW(dialog, GWL_EXSTYLE)));
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ::GetMonitorInfoW(::MonitorFromWindow(owner ? owner : dialog, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& area = monitor.rcWork;
  RECT around = area;
  if (owner) ::GetWindowRect(owner, &around);
  const int x = std::clamp<int>((around.left + around.right - width) / 2, area.left,
                                std::max<int>(area.left, area.right - width));
  const int y = std::clamp<int>((around.top + around.bottom - height) / 2, area.top,
                                std::max<int>(area.top, area.bottom - height));
  ::SetWindowPos(dialog, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

struct Creation {
  OpenBox* box;
  HWND owner;
};

INT_PTR CALLBACK BoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* box = reinterpret_cast<OpenBox*>(::GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG: {
      const auto* creation = reinterpret_cast<const Creation*>(lParam);
      ::SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(creation->box));
      ::SendDlgItemMessageW(dialog, kIconId, STM_SETICON,
                            reinterpret_cast<WPARAM>(::LoadIconW(nullptr, IDI_QUESTION)), 0);
      Layout(dialog, creation->owner);
      return FALSE;  // the focus goes to No once the box shows
    }
    case WM_COMMAND:
      // Only the two buttons answer, and only once the box is a second old;
      // Escape (IDCANCEL) does nothing, as in a Yes/No message box.
      if (box && HIWORD(wParam) == BN_CLICKED && (LOWORD(wParam) == IDYES || LOWORD(wParam) == IDNO) &&
          !Deaf(*box))
        Settle(dialog, *box, LOWORD(wParam) == IDYES ? Answer::kYes : Answer::kNo);
      return TRUE;
    case WM_CLOSE:
      return TRUE;
    case WM_TIMER:
      if (box && !box->done) {
        if ((*box->inputEnded)())
          Settle(dialog, *box, Answer::kInputEnded);
        else if (::GetTickCount64() >= box->deadline)
          Settle(dialog, *box, Answer::kNoAnswer);
      }
      return TRUE;
    default:
      return FALSE;
  }
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

std::string OriginHost(const std::string& origin) {
  const auto scheme = origin.find("://");
  const std::string rest = scheme == std::string::npos ? origin : origin.substr(scheme + 3);
  if (!rest.empty() && rest.front() == '[') {
    const auto close = rest.find(']');
    return close == std::string::npos ? rest : rest.substr(0, close + 1);
  }
  return rest.substr(0, rest.find_first_of(":/"));
}

std::string ConsentText(const std::string& origin) {
  return text::Fill(text::Fill(text::kBoxText, "origin", origin), "host", OriginHost(origin));
}

ConsentBox::ConsentBox(std::function<bool()> inputEnded, unsigned timeoutMs, HWND owner)
    : inputEnded_(std::move(inputEnded)), timeoutMs_(timeoutMs), owner_(owner) {}

Answer ConsentBox::Show(const std::string& origin) {
  // A browser window that has gone meanwhile leaves the box on its own.
  HWND owner = owner_ && ::IsWindow(owner_) ? ::GetAncestor(owner_, GA_ROOT) : nullptr;
  const std::wstring text = win::Utf8ToWide(ConsentText(origin));
  const std::wstring title = win::Utf8ToWide(text::kBoxTitle);
  DialogTemplate form(WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_FIXEDSYS, owner ? 0 : WS_EX_TOPMOST,
                      title.c_str(), 200, 100, 9, L"MS Shell Dlg 2");
  form.Add(kIconId, DialogTemplate::kStatic, SS_ICON, L"", 0, 0, 0, 0);
  form.Add(kTextId, DialogTemplate::kStatic, SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL, text.c_str(), 0, 0, 0, 0);
  form.Add(IDYES, DialogTemplate::kButton, BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP, L"是", 0, 0, 0, 0);
  form.Add(IDNO, DialogTemplate::kButton, BS_DEFPUSHBUTTON | WS_TABSTOP, L"否", 0, 0, 0, 0);

  OpenBox box;
  box.inputEnded = &inputEnded_;
  Creation creation{&box, owner};
  const win::UniqueWindow dialog(::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr), form.get(), owner,
                                                              BoxProc, reinterpret_cast<LPARAM>(&creation)));
  // A box that could neither close itself nor be shown is no one's answer.
  if (!dialog || !::SetTimer(dialog.get(), 1, kCheckEveryMs, nullptr)) return Answer::kNoAnswer;
  // The deaf second starts before the box can be seen: a tool that sees it
  // and waits a second never clicks too early.
  box.shownAt = ::GetTickCount64();
  box.deadline = box.shownAt + timeoutMs_;
  ::ShowWindow(dialog.get(), SW_SHOWNORMAL);
  if (!owner) ::SetForegroundWindow(dialog.get());
  ::SendMessageW(dialog.get(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(::GetDlgItem(dialog.get(), IDNO)), TRUE);

  MSG message;
  while (!box.done) {
    const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) {
      // The thread is asked to end: leave the request for its own loop.
      ::PostQuitMessage(static_cast<int>(message.wParam));
      return Answer::kInputEnded;
    }
    if (got == -1) return Answer::kNoAnswer;
    if (Swallowed(message, box, dialog.get())) continue;
    if (!::IsDialogMessageW(dialog.get(), &message)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  return box.answer;
}

Answer ConsentBox::Ask(const std::string& origin, const std::function<bool()>& stillUndecided,
                       const std::function<void(bool yes)>& remember) {
  const DialogTurn originTurn(MutexName(origin), inputEnded_);
  if (!originTurn.taken()) return Answer::kInputEnded;
  if (!stillUndecided()) return Answer::kSettledMeanwhile;
  const DialogTurn dialogTurn(kDialogMutexName, inputEnded_);
  if (!dialogTurn.taken()) return Answer::kInputEnded;
  if (!stillUndecided()) return Answer::kSettledMeanwhile;
  const Answer answer = Show(origin);
  if (answer == Answer::kYes || answer == Answer::kNo) remember(answer == Answer::kYes);
  return answer;
}

}  // namespace qelt::bridge
