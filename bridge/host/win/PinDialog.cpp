#include "PinDialog.h"

#include <algorithm>

#include "ConsentBox.h"
#include "DialogTemplate.h"
#include "DialogTurn.h"
#include "HostTexts.h"
#include "PinTexts.h"
#include "win/Resources.h"
#include "win/Text.h"

namespace qelt::bridge {
namespace {

// The end of input closes the dialog within 0.1 s.
constexpr UINT kCheckEveryMs = 50;
// A dialog that springs up under a person's typing must not take that
// input as the PIN or as OK.
constexpr DWORD kDeafMs = 1000;
constexpr int kWrongPinsAllowed = 2;
constexpr int kMaxPinLength = 64;

constexpr WORD kTextId = 0xFFFF;  // where tools read a dialog's text, as in a message box
constexpr WORD kSignTextId = 0x0100;
constexpr WORD kPromptId = 0x0101;
constexpr WORD kPinId = 0x0102;
constexpr WORD kStatusId = 0x0103;

// What the open dialog's procedure and its message loop share.
struct OpenDialog {
  const std::function<bool()>* inputEnded = nullptr;
  const std::function<PinTry(std::wstring&)>* tryPin = nullptr;
  ULONGLONG shownAt = ~0ULL;  // nothing counts before the dialog is on screen
  ULONGLONG deadline = ~0ULL;
  // Input made before this tick is dropped: the deaf second, then the time
  // the card took to check a PIN (keys typed meanwhile belong to that PIN).
  DWORD quietUntil = 0;
  bool trying = false;
  int wrongPins = 0;
  bool done = false;
  PinResult result = PinResult::kTimedOut;
};

bool Deaf(const OpenDialog& open) {
  const ULONGLONG now = ::GetTickCount64();
  return now < open.shownAt || now - open.shownAt < kDeafMs;
}

void Settle(HWND dialog, OpenDialog& open, PinResult result) {
  if (open.done) return;
  open.done = true;
  open.result = result;
  ::PostMessageW(dialog, WM_NULL, 0, 0);  // wakes the loop after a sent message
}

// Keys and presses made while the dialog was deaf, and a held Enter's
// repeats, never reach it. Escape always does: cancelling is safe.
bool Swallowed(const MSG& message, const OpenDialog& open, HWND dialog) {
  if (message.hwnd != dialog && !::IsChild(dialog, message.hwnd)) return false;
  const bool early = Deaf(open) || static_cast<LONG>(message.time - open.quietUntil) < 0;
  switch (message.message) {
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
      if (message.wParam == VK_ESCAPE) return false;
      return early || (message.wParam == VK_RETURN && (message.lParam & (1L << 30)) != 0);
    case WM_CHAR:
    case WM_SYSCHAR:
      if (message.wParam == 0x1B) return false;
      return early || (message.wParam == L'\r' && (message.lParam & (1L << 30)) != 0);
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      return early;
    default:
      return false;
  }
}

// OK is the default only once the dialog is a second old and the field
// holds something, and not while Cancel has the focus (Enter presses the
// button the person sees focused); Cancel otherwise.
void ChooseDefault(HWND dialog, const OpenDialog& open) {
  const bool okLive = !Deaf(open) && !open.trying && ::GetWindowTextLengthW(::GetDlgItem(dialog, kPinId)) > 0 &&
                      ::GetFocus() != ::GetDlgItem(dialog, IDCANCEL);
  const WORD wanted = okLive ? IDOK : IDCANCEL;
  if (LOWORD(::SendMessageW(dialog, DM_GETDEFID, 0, 0)) != wanted) ::SendMessageW(dialog, DM_SETDEFID, wanted, 0);
}

// The field's text overwritten in place, then emptied.
void WipeField(HWND field) {
  const int length = ::GetWindowTextLengthW(field);
  if (length <= 0) return;
  const std::wstring filler(static_cast<size_t>(length), L'*');
  ::SetWindowTextW(field, filler.c_str());
  ::SendMessageW(field, EM_EMPTYUNDOBUFFER, 0, 0);
  ::SetWindowTextW(field, L"");
}

// The person confirmed the field's PIN: hand it to the caller's check and
// wipe every copy the dialog made.
void TryPin(HWND dialog, OpenDialog& open) {
  HWND field = ::GetDlgItem(dialog, kPinId);
  const int length = ::GetWindowTextLengthW(field);
  if (length <= 0) return;
  if (open.wrongPins > 0) ::SetDlgItemTextW(dialog, kStatusId, L"");  // "PinCode錯誤" goes as a new PIN is tried
  std::wstring pin;
  pin.reserve(static_cast<size_t>(std::max(length, kMaxPinLength)));  // never reallocated below
  pin.resize(static_cast<size_t>(length));
  pin.resize(static_cast<size_t>(std::max(0, ::GetWindowTextW(field, &pin[0], length + 1))));

  // The field keeps the PIN for the card's call only: wiped right after it,
  // here for a wrong PIN, as the dialog goes for any other answer.
  open.trying = true;
  const PinTry answer = (*open.tryPin)(pin);
  open.trying = false;
  ::SecureZeroMemory(&pin[0], pin.capacity() * sizeof(wchar_t));
  pin.clear();

  if (!answer.wrongPin) {
    Settle(dialog, open, PinResult::kDone);
    return;
  }
  if (++open.wrongPins > kWrongPinsAllowed) {
    Settle(dialog, open, PinResult::kTooManyWrong);
    return;
  }
  WipeField(field);
  open.quietUntil = ::GetTickCount();
  ::SetDlgItemTextW(dialog, kStatusId, win::Utf8ToWide(text::kPinWrong).c_str());
  ::SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(field), TRUE);
  ChooseDefault(dialog, open);
}

// Lone line feeds shown as line breaks; the text itself is left as given.
std::wstring ForDisplay(const std::wstring& text) {
  std::wstring shown;
  shown.reserve(text.size() + text.size() / 8);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r')) shown += L'\r';
    shown += text[i];
  }
  return shown;
}

std::wstring DialogText(const PinRequest& request) {
  std::string text = text::Fill(text::Fill(text::kPinSite, "origin", request.origin), "host",
                                OriginHost(request.origin));
  switch (request.purpose) {
    case PinPurpose::kSignIn: text += text::kPinForSignIn; break;
    case PinPurpose::kSign: text += text::kPinForSign; break;
    case PinPurpose::kPinCheck: text += text::kPinForCheck; break;
  }
  if (request.purpose != PinPurpose::kPinCheck) text += std::string("\r\n\r\n") + text::kPinCertificateSent;
  if (!request.holder.empty()) text += "\r\n\r\n" + text::Fill(text::kPinHolder, "holder", request.holder);
  return win::Utf8ToWide(text);
}

int TextHeight(HWND dialog, HWND control, const std::wstring& text, int width) {
  RECT rect{0, 0, width, 0};
  if (HDC dc = ::GetDC(control)) {
    HGDIOBJ font = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(dialog, WM_GETFONT, 0, 0)));
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect,
                DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX | DT_EXPANDTABS);
    ::SelectObject(dc, font);
    ::ReleaseDC(control, dc);
  }
  return rect.bottom;
}

// The site's text at the top, the text to sign below it (at most a dozen
// lines, scrolling beyond), the PIN field, its status and the buttons at the
// bottom on the right; centred on the owner or on the screen.
void Layout(HWND dialog, HWND owner, const std::wstring& text, const std::wstring& signText) {
  RECT units{7, 7, 50, 14};  // margins, a button's size
  ::MapDialogRect(dialog, &units);
  RECT more{4, 3, 260, 8};  // the gap between buttons, a small vertical gap, the text's width, a line
  ::MapDialogRect(dialog, &more);
  RECT field{120, 14, 0, 0};  // the PIN field
  ::MapDialogRect(dialog, &field);
  const int margin = units.left, buttonW = units.right, buttonH = units.bottom;
  const int gap = more.left, smallGap = more.top, textW = more.right, lineH = more.bottom;

  int y = margin;
  HWND label = ::GetDlgItem(dialog, kTextId);
  const int textH = TextHeight(dialog, label, text, textW);
  ::MoveWindow(label, margin, y, textW, textH, FALSE);
  y += textH + margin;
  if (HWND sign = ::GetDlgItem(dialog, kSignTextId)) {
    const int frame = 2 * ::GetSystemMetrics(SM_CYEDGE) + 4;
    const int inner = textW - ::GetSystemMetrics(SM_CXVSCROLL) - 2 * ::GetSystemMetrics(SM_CXEDGE) - 8;
    const int signH = std::clamp(TextHeight(dialog, sign, signText, inner), 3 * lineH, 12 * lineH) + frame;
    ::MoveWindow(sign, margin, y, textW, signH, FALSE);
    y += signH + margin;
  }
  ::MoveWindow(::GetDlgItem(dialog, kPromptId), margin, y, textW, lineH, FALSE);
  y += lineH + smallGap;
  ::MoveWindow(::GetDlgItem(dialog, kPinId), margin, y, field.left, field.top, FALSE);
  y += field.top + smallGap;
  ::MoveWindow(::GetDlgItem(dialog, kStatusId), margin, y, textW, lineH, FALSE);
  y += lineH + margin;
  const int clientW = margin + textW + margin;
  ::MoveWindow(::GetDlgItem(dialog, IDCANCEL), clientW - margin - buttonW, y, buttonW, buttonH, FALSE);
  ::MoveWindow(::GetDlgItem(dialog, IDOK), clientW - margin - 2 * buttonW - gap, y, buttonW, buttonH, FALSE);
  const int clientH = y + buttonH + margin;

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
  const int top = std::clamp<int>((around.top + around.bottom - height) / 2, area.top,
                                  std::max<int>(area.top, area.bottom - height));
  ::SetWindowPos(dialog, nullptr, x, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

struct Creation {
  OpenDialog* open;
  HWND owner;
  const std::wstring* text;
  const std::wstring* signText;  // null: nothing to sign
};

// Posted to a dialog that is done: it goes, its field wiped, when the host
// next waits (after the answer is written).
constexpr UINT kDestroyWhenIdle = WM_APP + 1;

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* open = reinterpret_cast<OpenDialog*>(::GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case kDestroyWhenIdle:
      WipeField(::GetDlgItem(dialog, kPinId));
      ::DestroyWindow(dialog);
      return TRUE;
    case WM_INITDIALOG: {
      const auto* creation = reinterpret_cast<const Creation*>(lParam);
      ::SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(creation->open));
      ::SendDlgItemMessageW(dialog, kPinId, EM_LIMITTEXT, kMaxPinLength, 0);
      if (creation->signText) {
        ::SendDlgItemMessageW(dialog, kSignTextId, EM_LIMITTEXT, 0, 0);  // as long as the text is
        ::SetDlgItemTextW(dialog, kSignTextId, creation->signText->c_str());
      }
      ::SendMessageW(dialog, DM_SETDEFID, IDCANCEL, 0);
      Layout(dialog, creation->owner, *creation->text, creation->signText ? *creation->signText : std::wstring());
      return FALSE;  // the focus goes to the field once the dialog shows
    }
    case WM_COMMAND:
      if (!open || open->done) return TRUE;
      if ((LOWORD(wParam) == kPinId && (HIWORD(wParam) == EN_CHANGE || HIWORD(wParam) == EN_SETFOCUS)) ||
          ((LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) && HIWORD(wParam) == BN_SETFOCUS)) {
        ChooseDefault(dialog, *open);
      } else if (LOWORD(wParam) == IDOK && HIWORD(wParam) == BN_CLICKED) {
        // Enter or OK in the first second, or with nothing typed: nothing.
        if (!open->trying && !Deaf(*open)) TryPin(dialog, *open);
      } else if (LOWORD(wParam) == IDCANCEL && HIWORD(wParam) == BN_CLICKED && !open->trying) {
        Settle(dialog, *open, PinResult::kCancelled);
      }
      return TRUE;
    case WM_CTLCOLORSTATIC:
      if (reinterpret_cast<HWND>(lParam) == ::GetDlgItem(dialog, kStatusId)) {
        HDC dc = reinterpret_cast<HDC>(wParam);
        ::SetTextColor(dc, RGB(192, 0, 0));
        ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<INT_PTR>(::GetSysColorBrush(COLOR_BTNFACE));
      }
      return FALSE;
    case WM_TIMER:
      if (open && !open->done && !open->trying) {
        if ((*open->inputEnded)())
          Settle(dialog, *open, PinResult::kInputEnded);
        else if (::GetTickCount64() >= open->deadline)
          Settle(dialog, *open, PinResult::kTimedOut);
        else if (!open->done)
          ChooseDefault(dialog, *open);
      }
      return TRUE;
    default:
      return FALSE;  // WM_CLOSE: the dialog manager turns it into Cancel
  }
}

PinResult Show(const PinRequest& request, const std::function<PinTry(std::wstring&)>& tryPin,
               const std::function<bool()>& inputEnded, HWND requestedOwner, unsigned timeoutMs) {
  // A browser window that has gone meanwhile leaves the dialog on its own.
  HWND owner = requestedOwner && ::IsWindow(requestedOwner) ? ::GetAncestor(requestedOwner, GA_ROOT) : nullptr;
  const std::wstring text = DialogText(request);
  const std::wstring signText = ForDisplay(win::Utf8ToWide(request.text));
  const bool signing = request.purpose == PinPurpose::kSign;
  const std::wstring title = win::Utf8ToWide(text::kPinTitle);
  const std::wstring prompt = win::Utf8ToWide(text::kPinPrompt);
  const std::wstring ok = win::Utf8ToWide(text::kPinOk), cancel = win::Utf8ToWide(text::kPinCancel);

  DialogTemplate form(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_FIXEDSYS,
                      owner ? 0 : WS_EX_TOPMOST, title.c_str(), 200, 100, 9, L"MS Shell Dlg 2");
  form.Add(kTextId, DialogTemplate::kStatic, SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL, text.c_str(), 0, 0, 0, 0);
  if (signing)
    form.Add(kSignTextId, DialogTemplate::kEdit,
             WS_BORDER | WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, L"", 0, 0, 0, 0);
  form.Add(kPromptId, DialogTemplate::kStatic, SS_LEFT | SS_NOPREFIX, prompt.c_str(), 0, 0, 0, 0);
  form.Add(kPinId, DialogTemplate::kEdit, WS_BORDER | WS_TABSTOP | WS_GROUP | ES_PASSWORD | ES_AUTOHSCROLL, L"",
           0, 0, 0, 0);
  form.Add(kStatusId, DialogTemplate::kStatic, SS_LEFT | SS_NOPREFIX, L"", 0, 0, 0, 0);
  // No accelerator on OK: a stray Alt key press must not confirm a PIN.
  form.Add(IDOK, DialogTemplate::kButton, BS_PUSHBUTTON | BS_NOTIFY | WS_TABSTOP | WS_GROUP, ok.c_str(), 0, 0, 0, 0);
  form.Add(IDCANCEL, DialogTemplate::kButton, BS_DEFPUSHBUTTON | BS_NOTIFY | WS_TABSTOP, cancel.c_str(), 0, 0, 0, 0);

  OpenDialog open;
  open.inputEnded = &inputEnded;
  open.tryPin = &tryPin;
  Creation creation{&open, owner, &text, signing ? &signText : nullptr};
  win::UniqueWindow dialog(::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr), form.get(), owner,
                                                              DialogProc, reinterpret_cast<LPARAM>(&creation)));
  // A dialog that could neither close itself nor be shown takes no PIN.
  if (!dialog || !::SetTimer(dialog.get(), 1, kCheckEveryMs, nullptr)) return PinResult::kTimedOut;
  // The deaf second starts before the dialog can be seen: a tool that sees
  // it and waits a second never confirms too early.
  open.shownAt = ::GetTickCount64();
  open.deadline = open.shownAt + timeoutMs;
  open.quietUntil = static_cast<DWORD>(open.shownAt) + kDeafMs;
  ::ShowWindow(dialog.get(), SW_SHOWNORMAL);
  if (!owner) ::SetForegroundWindow(dialog.get());
  ::SendMessageW(dialog.get(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(::GetDlgItem(dialog.get(), kPinId)), TRUE);

  MSG message;
  while (!open.done) {
    const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
    if (got == 0 || got == -1) {
      WipeField(::GetDlgItem(dialog.get(), kPinId));
      // The thread is asked to end: leave the request for its own loop.
      if (got == 0) ::PostQuitMessage(static_cast<int>(message.wParam));
      return got == 0 ? PinResult::kInputEnded : PinResult::kTimedOut;
    }
    if (Swallowed(message, open, dialog.get())) continue;
    if (!::IsDialogMessageW(dialog.get(), &message)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  // Taken down as soon as the host waits again, once the answer is on its
  // way: a window's end costs the answer milliseconds under some systems.
  ::SetWindowLongPtrW(dialog.get(), DWLP_USER, 0);  // its timer and clicks find nothing to do now
  if (::PostMessageW(dialog.get(), kDestroyWhenIdle, 0, 0)) dialog.release();
  return open.result;
}

}  // namespace

PinDialog::PinDialog(std::function<bool()> inputEnded, HWND owner, unsigned timeoutMs)
    : inputEnded_(std::move(inputEnded)), owner_(owner), timeoutMs_(timeoutMs) {}

PinResult PinDialog::Ask(const PinRequest& request, const std::function<PinTry(std::wstring& pin)>& tryPin) {
  const DialogTurn turn(kDialogMutexName, inputEnded_);
  if (!turn.taken()) return PinResult::kInputEnded;
  return Show(request, tryPin, inputEnded_, owner_, timeoutMs_);
}

}  // namespace qelt::bridge
