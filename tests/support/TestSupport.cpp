#include "TestSupport.h"

#include <stdexcept>

#include "CodePage.h"

namespace qelt::test {

std::wstring WinPath(const std::string& unixPath) {
  std::wstring out = L"Z:";
  for (char c : unixPath) out.push_back(c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c)));
  return out;
}

namespace {

HRESULT CallCardExport(const char* name) {
  HMODULE card = LoadLibraryW(WinPath(QELT_VIRTUAL_CARD_DLL).c_str());
  if (!card) throw std::runtime_error("cannot load the virtual card module");
  using Fn = HRESULT(__stdcall*)();
  auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(card, name)));
  const HRESULT hr = fn ? fn() : E_FAIL;
  FreeLibrary(card);
  return hr;
}

}  // namespace

void RegisterVirtualCard() {
  if (FAILED(CallCardExport("DllRegisterServer"))) throw std::runtime_error("virtual card registration failed");
}

void UnregisterVirtualCard() { CallCardExport("DllUnregisterServer"); }

CardProfile::CardProfile(const std::string& utf8Text) {
  wchar_t folder[MAX_PATH], file[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  GetTempFileNameW(folder, L"crd", 0, file);
  path_ = file;
  HANDLE h = CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  WriteFile(h, utf8Text.data(), static_cast<DWORD>(utf8Text.size()), &written, nullptr);
  CloseHandle(h);
  SetEnvironmentVariableW(L"QELT_CARD_PROFILE", path_.c_str());
}

CardProfile::~CardProfile() {
  SetEnvironmentVariableW(L"QELT_CARD_PROFILE", nullptr);
  DeleteFileW(path_.c_str());
}

TempFolder::TempFolder() {
  wchar_t folder[MAX_PATH], name[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  GetTempFileNameW(folder, L"qlt", 0, name);
  DeleteFileW(name);
  CreateDirectoryW(name, nullptr);
  path_ = name;
}

TempFolder::~TempFolder() {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((path_ + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = data.cFileName;
      if (name != L"." && name != L"..") DeleteFileW(File(name).c_str());
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  RemoveDirectoryW(path_.c_str());
}

namespace {

thread_local std::vector<MessageBoxWatch::Box> t_boxes;
thread_local HHOOK t_hook = nullptr;

BOOL CALLBACK CollectStatic(HWND child, LPARAM param) {
  char cls[32];
  GetClassNameA(child, cls, sizeof cls);
  if (lstrcmpiA(cls, "Static") == 0) {
    char text[2048];
    const int n = GetWindowTextA(child, text, sizeof text);
    if (n > 0) *reinterpret_cast<std::string*>(param) = std::string(text, static_cast<size_t>(n));
  }
  return TRUE;
}

LRESULT CALLBACK WatchBoxes(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    HWND dialog = reinterpret_cast<HWND>(wParam);
    char cls[32];
    GetClassNameA(dialog, cls, sizeof cls);
    if (lstrcmpA(cls, "#32770") == 0) {
      MessageBoxWatch::Box box;
      char caption[512];
      const int n = GetWindowTextA(dialog, caption, sizeof caption);
      box.caption.assign(caption, static_cast<size_t>(n > 0 ? n : 0));
      EnumChildWindows(dialog, CollectStatic, reinterpret_cast<LPARAM>(&box.text));
      t_boxes.push_back(box);
      PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    }
  }
  return CallNextHookEx(t_hook, code, wParam, lParam);
}

}  // namespace

MessageBoxWatch::MessageBoxWatch() {
  t_boxes.clear();
  t_hook = SetWindowsHookExW(WH_CBT, WatchBoxes, nullptr, GetCurrentThreadId());
}

MessageBoxWatch::~MessageBoxWatch() {
  UnhookWindowsHookEx(t_hook);
  t_hook = nullptr;
}

const std::vector<MessageBoxWatch::Box>& MessageBoxWatch::Boxes() const { return t_boxes; }

std::string Ansi(const std::u16string& text) { return cp::Utf16ToAnsi(text); }

}  // namespace qelt::test
