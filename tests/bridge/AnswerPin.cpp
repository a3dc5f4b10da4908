// answer_pin: plays the person in front of the bridge's PIN dialog, which
// another process shows, so tests can type PINs from outside.
//
//   answer_pin TITLE ACTION SECONDS [PIN...]
//
// Waits up to SECONDS for a visible top-level dialog (class "#32770") titled
// TITLE that has a password edit, and prints every text of its statics and
// edits but the password edit, UTF-8, one per line (a text's own line breaks
// as "\n"; empty texts left out). ACTION:
//   pin PIN [PIN...]  waits until the dialog is 1.1 s old (it ignores OK
//                     before), then for each PIN puts it into the password
//                     edit, presses OK and waits up to 30 s for the dialog to
//                     close or to show "PinCode錯誤", printed when it does.
//                     Exit 0: closed after the last PIN; 3: still open
//                     (prints "still open"); 5: closed before the last PIN
//                     (prints "closed early").
//   cancel            after 1.1 s presses Cancel; exit 0 when it closed.
//   early-ok PIN      as soon as the dialog appears puts the PIN, presses OK
//                     and sends IDOK (start it before the dialog can show);
//                     exit 0 when the dialog is still open 1.5 s after it was
//                     seen, 3 when it closed, 4 when it was already open at
//                     the first look, of unknown age.
//   none              prints the texts only.
//   count             prints how many such dialogs are open once the first
//                     one showed.
// Exit 1: no dialog appeared; 2: usage error.
#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr DWORD kOldEnoughMs = 1100;
constexpr DWORD kEarlyCheckMs = 1500;
constexpr DWORD kAnswerWaitMs = 30000;
constexpr UINT kSendTimeoutMs = 30000;  // OK returns once the card checked the PIN
const wchar_t kWrongPin[] = L"PinCode\u932F\u8AA4";

struct LocalFreeDeleter {
  void operator()(void* p) const { ::LocalFree(p); }
};
using UniqueArgv = std::unique_ptr<LPWSTR, LocalFreeDeleter>;

std::wstring ClassOf(HWND window) {
  wchar_t name[32] = {};
  ::GetClassNameW(window, name, 32);
  return name;
}

bool IsPasswordEdit(HWND window) {
  return _wcsicmp(ClassOf(window).c_str(), L"Edit") == 0 && (::GetWindowLongW(window, GWL_STYLE) & ES_PASSWORD);
}

// WM_GETTEXT, which the system carries across processes.
std::wstring TextOf(HWND window) {
  DWORD_PTR length = 0;
  if (!::SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!::SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG,
                             5000, &copied))
    return {};
  text.resize(static_cast<size_t>(copied));
  return text;
}

std::vector<HWND> Children(HWND dialog) {
  std::vector<HWND> children;
  for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
    children.push_back(child);
  return children;
}

HWND PasswordEdit(HWND dialog) {
  for (HWND child : Children(dialog))
    if (IsPasswordEdit(child)) return child;
  return nullptr;
}

struct Search {
  std::wstring title;
  std::vector<HWND> found;
};

// Dialogs appear before their texts are set; a visible one is complete.
BOOL CALLBACK CollectDialog(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  if (ClassOf(window) != L"#32770" || !::IsWindowVisible(window) || !PasswordEdit(window)) return TRUE;
  std::wstring title(static_cast<size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  title.resize(static_cast<size_t>(::GetWindowTextW(window, &title[0], static_cast<int>(title.size()))));
  if (title == search->title) search->found.push_back(window);
  return TRUE;
}

std::vector<HWND> FindDialogs(const std::wstring& title) {
  Search search{title, {}};
  ::EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

void Print(const std::wstring& text) {
  std::wstring line;
  for (size_t i = 0; i < text.size(); ++i)
    if (!(text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n')) line += text[i];
  std::string bytes;
  if (!line.empty()) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), nullptr, 0,
                                           nullptr, nullptr);
    bytes.resize(static_cast<size_t>(size));
    ::WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), &bytes[0], size, nullptr,
                          nullptr);
  }
  bytes += '\n';
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
              nullptr);
}

void PrintTexts(HWND dialog) {
  for (HWND child : Children(dialog)) {
    const std::wstring name = ClassOf(child);
    if ((_wcsicmp(name.c_str(), L"Static") != 0 && _wcsicmp(name.c_str(), L"Edit") != 0) || IsPasswordEdit(child))
      continue;
    const std::wstring text = TextOf(child);
    if (!text.empty()) Print(text);
  }
}

bool ShowsWrongPin(HWND dialog) {
  for (HWND child : Children(dialog))
    if (_wcsicmp(ClassOf(child).c_str(), L"Static") == 0 && TextOf(child) == kWrongPin) return true;
  return false;
}

void Press(HWND dialog, int id) {
  DWORD_PTR ignored = 0;
  ::SendMessageTimeoutW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &ignored);
}

void Type(HWND dialog, const wchar_t* pin) {
  DWORD_PTR ignored = 0;
  ::SendMessageTimeoutW(PasswordEdit(dialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(pin), SMTO_ABORTIFHUNG, 5000,
                        &ignored);
}

bool WaitClosed(HWND dialog, DWORD ms) {
  for (DWORD waited = 0; ::IsWindow(dialog) && waited < ms; waited += 50) ::Sleep(50);
  return !::IsWindow(dialog);
}

}  // namespace

int main() {
  int argc = 0;
  UniqueArgv argv(::CommandLineToArgvW(::GetCommandLineW(), &argc));
  const std::wstring action = argv && argc >= 4 ? argv.get()[2] : L"";
  const bool takesPins = action == L"pin" || action == L"early-ok";
  const bool known = action == L"cancel" || action == L"none" || action == L"count";
  if (!argv || !((takesPins && argc >= 5) || (known && argc == 4)) || (action == L"early-ok" && argc != 5)) {
    Print(L"usage: answer_pin TITLE pin|cancel|early-ok|none|count SECONDS [PIN...]");
    return 2;
  }
  const std::wstring title = argv.get()[1];
  const DWORD deadline = ::GetTickCount() + static_cast<DWORD>(_wtof(argv.get()[3]) * 1000);

  std::vector<HWND> dialogs = FindDialogs(title);
  const bool alreadyOpen = !dialogs.empty();
  while (dialogs.empty() && static_cast<LONG>(deadline - ::GetTickCount()) > 0) {
    ::Sleep(50);
    dialogs = FindDialogs(title);
  }
  if (action == L"count") {
    Print(std::to_wstring(dialogs.size()));
    return dialogs.empty() ? 1 : 0;
  }
  if (dialogs.empty()) return 1;

  // Seen now: the dialog is at least this old.
  const DWORD seen = ::GetTickCount();
  HWND dialog = dialogs.front();
  if (action == L"early-ok") {
    if (alreadyOpen) return 4;
    Type(dialog, argv.get()[4]);
    Press(dialog, IDOK);
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                          reinterpret_cast<LPARAM>(::GetDlgItem(dialog, IDOK)), SMTO_ABORTIFHUNG, kSendTimeoutMs,
                          &ignored);
    PrintTexts(dialog);
    const DWORD age = ::GetTickCount() - seen;
    if (age < kEarlyCheckMs) ::Sleep(kEarlyCheckMs - age);
    return ::IsWindow(dialog) ? 0 : 3;
  }
  PrintTexts(dialog);
  if (action == L"none") return 0;
  // The dialog ignores OK in its first second.
  const DWORD age = ::GetTickCount() - seen;
  if (age < kOldEnoughMs) ::Sleep(kOldEnoughMs - age);
  if (action == L"cancel") {
    Press(dialog, IDCANCEL);
    return WaitClosed(dialog, 5000) ? 0 : 3;
  }

  for (int i = 4; i < argc; ++i) {
    if (!::IsWindow(dialog)) {
      Print(L"closed early");
      return 5;
    }
    Type(dialog, argv.get()[i]);
    Press(dialog, IDOK);
    for (DWORD waited = 0; ::IsWindow(dialog) && !ShowsWrongPin(dialog) && waited < kAnswerWaitMs; waited += 50)
      ::Sleep(50);
    if (::IsWindow(dialog) && ShowsWrongPin(dialog)) Print(kWrongPin);
  }
  // The last PIN's answer closes the dialog a moment after OK returned.
  if (!ShowsWrongPin(dialog) && WaitClosed(dialog, 2000)) return 0;
  Print(L"still open");
  return 3;
}
