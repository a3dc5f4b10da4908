#include "Text.h"

#include "Resources.h"

namespace qelt::win {

namespace {

std::wstring ToWide(UINT codePage, const std::string& text) {
  if (text.empty()) return {};
  const int n = ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}

std::string FromWide(UINT codePage, const wchar_t* wide, size_t length) {
  if (!wide || length == 0) return {};
  const int n = ::WideCharToMultiByte(codePage, 0, wide, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(codePage, 0, wide, static_cast<int>(length), &out[0], n, nullptr, nullptr);
  return out;
}

}  // namespace

std::wstring AnsiToWide(const std::string& ansi) { return ToWide(CP_ACP, ansi); }

std::string WideToAnsi(const wchar_t* wide, size_t length) { return FromWide(CP_ACP, wide, length); }

std::wstring Utf8ToWide(const std::string& utf8) { return ToWide(CP_UTF8, utf8); }

std::string WideToUtf8(const wchar_t* wide, size_t length) { return FromWide(CP_UTF8, wide, length); }

std::string WideToAnsi(const std::wstring& wide) { return WideToAnsi(wide.data(), wide.size()); }

BSTR AnsiToBstr(const std::string& ansi) {
  std::wstring wide = AnsiToWide(ansi);
  BSTR text = ::SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  // PINs pass through here: the copy does not outlive the call.
  ::SecureZeroMemory(&wide[0], wide.size() * sizeof(wchar_t));
  return text;
}

std::string BstrToAnsi(BSTR bstr) { return WideToAnsi(bstr, bstr ? ::SysStringLen(bstr) : 0); }

std::wstring SystemMessageWide(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
          FORMAT_MESSAGE_ARGUMENT_ARRAY,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  const UniqueLocal owner(buffer);
  std::wstring text(buffer ? buffer : L"", buffer ? n : 0);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n')) text.pop_back();
  return text;
}

std::string SystemMessage(DWORD code) { return WideToAnsi(SystemMessageWide(code)); }

std::string ComErrorMessage(HRESULT hr) {
  std::string text = SystemMessage(static_cast<DWORD>(hr));
  if (!text.empty()) return text;
  char fallback[32];
  wsprintfA(fallback, "OLE error %08X", static_cast<unsigned>(hr));
  return fallback;
}

std::wstring GuidText(const GUID& guid) {
  wchar_t text[40];
  ::StringFromGUID2(guid, text, 40);
  return text;
}

HMODULE ThisModule() {
  HMODULE module = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

}  // namespace qelt::win
