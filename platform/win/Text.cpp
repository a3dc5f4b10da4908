#include "Text.h"

#include "Resources.h"

namespace qelt::win {

std::wstring AnsiToWide(const std::string& ansi) {
  if (ansi.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &out[0], n);
  return out;
}

std::string WideToAnsi(const wchar_t* wide, size_t length) {
  if (!wide || length == 0) return {};
  const int n = ::WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(length), &out[0], n, nullptr, nullptr);
  return out;
}

std::string WideToAnsi(const std::wstring& wide) { return WideToAnsi(wide.data(), wide.size()); }

BSTR AnsiToBstr(const std::string& ansi) {
  const std::wstring wide = AnsiToWide(ansi);
  return ::SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

std::string BstrToAnsi(BSTR bstr) { return WideToAnsi(bstr, bstr ? ::SysStringLen(bstr) : 0); }

std::string SystemMessage(DWORD code) {
  char* buffer = nullptr;
  const DWORD n = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
          FORMAT_MESSAGE_ARGUMENT_ARRAY,
      nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  const UniqueLocal owner(buffer);
  std::string text(buffer ? buffer : "", buffer ? n : 0);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
  return text;
}

std::string ComErrorMessage(HRESULT hr) {
  std::string text = SystemMessage(static_cast<DWORD>(hr));
  if (!text.empty()) return text;
  char fallback[32];
  wsprintfA(fallback, "OLE error %08X", static_cast<unsigned>(hr));
  return fallback;
}

HMODULE ThisModule() {
  HMODULE module = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

}  // namespace qelt::win
