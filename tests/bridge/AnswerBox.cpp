// answer_box: plays the person in front of a dialog box that another
// process shows, so tests can answer the bridge's question from outside.
//
//   answer_box TITLE yes|no|none|count|early-yes|enter SECONDS
//
// Waits up to SECONDS for a visible top-level dialog box (class "#32770")
// titled TITLE. yes/no: prints its text as UTF-8, waits until the box is a
// second old (it ignores every answer before), presses that button and waits
// for the box to close; none: prints the text only; count: prints how many
// such boxes are open once the first one showed; early-yes: sends IDYES and
// clicks Yes as soon as the box appears, enter: posts an Enter key to the
// box's focus as soon as it appears; both then print the text and check that
// the box ignored it (start them before the box can show).
// Exit: 0 a box was found (and answered; for early-yes and enter: still
// open), 1 none appeared, 2 usage error, 3 the box stayed open after the
// answer (early-yes and enter: it closed), 4 early-yes or enter found the
// box already open, of unknown age: too late to answer early.
#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr DWORD kOldEnoughMs = 1100;

struct LocalFreeDeleter {
  void operator()(void* p) const { ::LocalFree(p); }
};
using UniqueArgv = std::unique_ptr<LPWSTR, LocalFreeDeleter>;

struct Search {
  std::wstring title;
  std::vector<HWND> found;
};

// Boxes appear before their text is set; a visible one is complete.
BOOL CALLBACK CollectBox(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  wchar_t name[16] = {};
  if (::GetClassNameW(window, name, 16) == 0 || std::wstring(name) != L"#32770" || !::IsWindowVisible(window))
    return TRUE;
  std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<size_t>(::GetWindowTextW(window, &text[0], static_cast<int>(text.size()))));
  if (text == search->title) search->found.push_back(window);
  return TRUE;
}

std::vector<HWND> FindBoxes(const std::wstring& title) {
  Search search{title, {}};
  ::EnumWindows(CollectBox, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

void Print(const std::wstring& text) {
  std::string bytes;
  if (!text.empty()) {
    int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                     nullptr, nullptr);
    bytes.resize(static_cast<size_t>(size));
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size, nullptr,
                          nullptr);
  }
  bytes += '\n';
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
              nullptr);
}

std::wstring BoxText(HWND box) {
  HWND label = ::GetDlgItem(box, 0xFFFF);
  int length = label ? ::GetWindowTextLengthW(label) : 0;
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(::GetDlgItemTextW(box, 0xFFFF, &text[0], length + 1)));
  return text;
}

}  // namespace

int main() {
  int argc = 0;
  UniqueArgv argv(::CommandLineToArgvW(::GetCommandLineW(), &argc));
  if (!argv || argc != 4) {
    Print(L"usage: answer_box TITLE yes|no|none|count|early-yes|enter SECONDS");
    return 2;
  }
  const std::wstring title = argv.get()[1], action = argv.get()[2];
  const DWORD deadline = ::GetTickCount() + static_cast<DWORD>(_wtof(argv.get()[3]) * 1000);
  if (action != L"yes" && action != L"no" && action != L"none" && action != L"count" && action != L"early-yes" &&
      action != L"enter") {
    Print(L"answer_box: the action is yes, no, none, count, early-yes or enter");
    return 2;
  }

  std::vector<HWND> boxes = FindBoxes(title);
  const bool alreadyOpen = !boxes.empty();
  while (boxes.empty() && static_cast<LONG>(deadline - ::GetTickCount()) > 0) {
    ::Sleep(50);
    boxes = FindBoxes(title);
  }
  if (action == L"count") {
    Print(std::to_wstring(boxes.size()));
    return boxes.empty() ? 1 : 0;
  }
  if (boxes.empty()) return 1;

  // Seen now: the box is at least this old.
  const DWORD seen = ::GetTickCount();
  HWND box = boxes.front();
  DWORD_PTR ignored = 0;
  if (action == L"early-yes" || action == L"enter") {
    if (alreadyOpen) return 4;
    if (action == L"early-yes") {
      ::SendMessageTimeoutW(box, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0, SMTO_ABORTIFHUNG, 5000, &ignored);
      ::SendMessageTimeoutW(::GetDlgItem(box, IDYES), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    } else {
      GUITHREADINFO thread{};
      thread.cbSize = sizeof thread;
      HWND focus = ::GetGUIThreadInfo(::GetWindowThreadProcessId(box, nullptr), &thread) && thread.hwndFocus
                       ? thread.hwndFocus
                       : box;
      ::PostMessageW(focus, WM_KEYDOWN, VK_RETURN, 0x001C0001);
      ::PostMessageW(focus, WM_KEYUP, VK_RETURN, static_cast<LPARAM>(0xC01C0001));
    }
    ::Sleep(300);
    Print(BoxText(box));
    return ::IsWindow(box) ? 0 : 3;
  }
  Print(BoxText(box));
  if (action == L"none") return 0;
  // The box ignores every answer in its first second.
  const DWORD age = ::GetTickCount() - seen;
  if (age < kOldEnoughMs) ::Sleep(kOldEnoughMs - age);
  ::SendMessageTimeoutW(box, WM_COMMAND, MAKEWPARAM(action == L"yes" ? IDYES : IDNO, BN_CLICKED), 0,
                        SMTO_ABORTIFHUNG, 5000, &ignored);
  for (int i = 0; i < 100 && ::IsWindow(box); ++i) ::Sleep(50);
  return ::IsWindow(box) ? 3 : 0;
}
