// Native side of the code page seam, for fuzzing and sanitizer builds: iconv.
#include <iconv.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "CodePage.h"
#include "CodePageDetail.h"

namespace qelt::cp {
namespace detail {
namespace {

const char* IconvName(unsigned codePage) {
  switch (codePage) {
    case 950: return "CP950";
    case 932: return "CP932";
    case 936: return "CP936";
    case 949: return "CP949";
    case 874: return "CP874";
    case 20866: return "KOI8-R";
    case 28592: return "ISO-8859-2";
    case 28595: return "ISO-8859-5";
    case 28597: return "ISO-8859-7";
    case 28605: return "ISO-8859-15";
    default: break;
  }
  if (codePage >= 1250 && codePage <= 1258) {
    static thread_local std::string name;
    name = "CP" + std::to_string(codePage);
    return name.c_str();
  }
  return nullptr;
}

bool Run(const char* to, const char* from, std::string_view in, std::string& out, bool lenient) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  out.assign(in.size() * 4 + 16, '\0');
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  char* dst = &out[0];
  size_t dstLeft = out.size();
  bool ok = true;
  while (srcLeft > 0) {
    if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1)) break;
    if (!lenient || errno == E2BIG) { ok = false; break; }
    // Skip one undecodable byte (or unit) and go on.
    ++src; --srcLeft;
  }
  iconv_close(cd);
  out.resize(out.size() - dstLeft);
  return ok;
}

}  // namespace

bool PlatformToUtf16(unsigned codePage, std::string_view bytes, std::u16string& out) {
  const char* name = IconvName(codePage);
  if (!name) return false;
  std::string raw;
  if (!Run("UTF-16LE", name, bytes, raw, false)) return false;
  out.assign(reinterpret_cast<const char16_t*>(raw.data()), raw.size() / 2);
  return true;
}

bool PlatformToUtf16Lenient(unsigned codePage, std::string_view bytes, std::u16string& out) {
  const char* name = IconvName(codePage);
  if (!name) return false;
  std::string raw;
  Run("UTF-16LE", name, bytes, raw, true);
  out.assign(reinterpret_cast<const char16_t*>(raw.data()), raw.size() / 2);
  return true;
}

bool PlatformFromUtf16(unsigned codePage, std::u16string_view text, std::string& out) {
  const char* name = IconvName(codePage);
  if (!name) return false;
  std::string target = std::string(name) + "//TRANSLIT";
  std::string_view in(reinterpret_cast<const char*>(text.data()), text.size() * 2);
  Run(target.c_str(), "UTF-16LE", in, out, true);
  return true;
}

}  // namespace detail

unsigned AnsiCodePage() {
  const char* v = std::getenv("QELT_ACP");
  return v ? static_cast<unsigned>(std::strtoul(v, nullptr, 10)) : 950u;
}

bool IsLeadByte(unsigned char byte) {
  switch (AnsiCodePage()) {
    case 950: return byte >= 0x81 && byte <= 0xFE;
    case 936: case 949: return byte >= 0x81 && byte <= 0xFE;
    case 932: return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    default: return false;
  }
}

}  // namespace qelt::cp
