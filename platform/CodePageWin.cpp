// Windows side of the code page seam: the system's own converters.
#include <windows.h>

#include "CodePage.h"
#include "CodePageDetail.h"

namespace qelt::cp {
namespace detail {
namespace {

bool Decode(unsigned codePage, std::string_view bytes, std::u16string& out, DWORD flags) {
  out.clear();
  if (bytes.empty()) return IsValidCodePage(codePage) != FALSE;
  const int n = MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()),
                                    nullptr, 0);
  if (n <= 0) return false;
  out.resize(static_cast<size_t>(n));
  return MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()),
                             reinterpret_cast<wchar_t*>(&out[0]), n) == n;
}

}  // namespace

bool PlatformToUtf16(unsigned codePage, std::string_view bytes, std::u16string& out) {
  return Decode(codePage, bytes, out, MB_ERR_INVALID_CHARS);
}

bool PlatformToUtf16Lenient(unsigned codePage, std::string_view bytes, std::u16string& out) {
  return Decode(codePage, bytes, out, 0);
}

bool PlatformFromUtf16(unsigned codePage, std::u16string_view text, std::string& out) {
  out.clear();
  if (text.empty()) return IsValidCodePage(codePage) != FALSE;
  const auto* w = reinterpret_cast<const wchar_t*>(text.data());
  const int n = WideCharToMultiByte(codePage, 0, w, static_cast<int>(text.size()), nullptr, 0,
                                    nullptr, nullptr);
  if (n <= 0) return false;
  out.resize(static_cast<size_t>(n));
  return WideCharToMultiByte(codePage, 0, w, static_cast<int>(text.size()), &out[0], n, nullptr,
                             nullptr) == n;
}

}  // namespace detail

unsigned AnsiCodePage() { return GetACP(); }

bool IsLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != FALSE; }

}  // namespace qelt::cp
