// Encodings that need no platform help: UTF-8, UTF-16, ISO-8859-1, US-ASCII,
// plus the encoding-name table. The platform files handle the rest.
#include "CodePage.h"
#include "CodePageDetail.h"

#include <algorithm>
#include <cctype>

namespace qelt::cp {
namespace {

bool DecodeUtf8(std::string_view in, std::u16string& out) {
  out.clear();
  out.reserve(in.size());
  size_t i = 0;
  while (i < in.size()) {
    unsigned char c = static_cast<unsigned char>(in[i]);
    if (c < 0x80) { out.push_back(c); ++i; continue; }
    int extra; char32_t cp;
    if (c >= 0xC2 && c <= 0xDF) { extra = 1; cp = c & 0x1F; }
    else if (c >= 0xE0 && c <= 0xEF) { extra = 2; cp = c & 0x0F; }
    else if (c >= 0xF0 && c <= 0xF4) { extra = 3; cp = c & 0x07; }
    else return false;
    if (in.size() - i <= static_cast<size_t>(extra)) return false;
    for (int k = 1; k <= extra; ++k) {
      unsigned char d = static_cast<unsigned char>(in[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    // Reject overlong forms, surrogates and values past U+10FFFF.
    if ((extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000) || cp > 0x10FFFF ||
        (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += extra + 1;
  }
  return true;
}

void EncodeUtf8(std::u16string_view in, std::string& out) {
  out.clear();
  for (size_t i = 0; i < in.size(); ++i) {
    char32_t cp = in[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 &&
        in[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
}

bool DecodeUtf16(std::string_view in, bool bigEndian, std::u16string& out) {
  if (in.size() % 2 != 0) return false;
  out.clear();
  out.reserve(in.size() / 2);
  for (size_t i = 0; i < in.size(); i += 2) {
    unsigned char a = static_cast<unsigned char>(in[i]);
    unsigned char b = static_cast<unsigned char>(in[i + 1]);
    out.push_back(static_cast<char16_t>(bigEndian ? (a << 8 | b) : (b << 8 | a)));
  }
  return true;
}

std::string Lower(std::string_view s) {
  std::string r(s);
  std::transform(r.begin(), r.end(), r.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return r;
}

}  // namespace

bool ToUtf16(unsigned codePage, std::string_view bytes, std::u16string& out) {
  switch (codePage) {
    case kUtf8: return DecodeUtf8(bytes, out);
    case kUtf16LE: return DecodeUtf16(bytes, false, out);
    case kUtf16BE: return DecodeUtf16(bytes, true, out);
    case kLatin1:
      out.assign(bytes.begin(), bytes.end());
      for (auto& c : out) c = static_cast<unsigned char>(c);
      return true;
    case kUsAscii:
      out.clear();
      for (unsigned char c : bytes) {
        if (c >= 0x80) return false;
        out.push_back(c);
      }
      return true;
    default:
      return detail::PlatformToUtf16(codePage, bytes, out);
  }
}

bool FromUtf16(unsigned codePage, std::u16string_view text, std::string& out) {
  switch (codePage) {
    case kUtf8: EncodeUtf8(text, out); return true;
    case kLatin1:
    case kUsAscii: {
      const char16_t limit = codePage == kLatin1 ? 0x100 : 0x80;
      out.clear();
      for (char16_t c : text) out.push_back(c < limit ? static_cast<char>(c) : '?');
      return true;
    }
    default:
      return detail::PlatformFromUtf16(codePage, text, out);
  }
}

std::u16string AnsiToUtf16(std::string_view ansi) {
  std::u16string out;
  if (!detail::PlatformToUtf16Lenient(AnsiCodePage(), ansi, out)) out.assign(ansi.begin(), ansi.end());
  return out;
}

std::string Utf16ToAnsi(std::u16string_view text) {
  std::string out;
  FromUtf16(AnsiCodePage(), text, out);
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  EncodeUtf8(text, out);
  return out;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  if (!DecodeUtf8(utf8, out)) out.assign(utf8.begin(), utf8.end());
  return out;
}

unsigned CodePageFromName(std::string_view name) {
  const std::string n = Lower(name);
  struct Row { const char* name; unsigned cp; };
  static const Row rows[] = {
      {"utf-8", kUtf8},          {"utf8", kUtf8},
      {"utf-16", kUtf16LE},      {"utf-16le", kUtf16LE},     {"utf-16be", kUtf16BE},
      {"iso-10646-ucs-2", kUtf16LE},
      {"big5", kBig5},           {"big-5", kBig5},           {"cp950", kBig5},
      {"x-x-big5", kBig5},       {"windows-950", kBig5},
      {"iso-8859-1", kLatin1},   {"latin1", kLatin1},        {"iso_8859-1", kLatin1},
      {"l1", kLatin1},
      {"us-ascii", kUsAscii},    {"ascii", kUsAscii},
      {"shift_jis", 932},        {"windows-31j", 932},       {"cp932", 932},
      {"gb2312", 936},           {"gbk", 936},               {"cp936", 936},
      {"euc-kr", 949},           {"ks_c_5601-1987", 949},    {"cp949", 949},
      {"iso-8859-2", 28592},     {"iso-8859-5", 28595},      {"iso-8859-7", 28597},
      {"iso-8859-15", 28605},    {"koi8-r", 20866},
  };
  for (const Row& r : rows)
    if (n == r.name) return r.cp;
  // windows-125x and cp125x
  for (const char* prefix : {"windows-", "cp"}) {
    const std::string p = prefix;
    if (n.compare(0, p.size(), p) == 0) {
      const std::string digits = n.substr(p.size());
      if (digits.size() == 4 && digits.compare(0, 3, "125") == 0 && digits[3] >= '0' && digits[3] <= '8')
        return static_cast<unsigned>(std::stoul(digits));
      if (digits == "874") return 874;
    }
  }
  return 0;
}

}  // namespace qelt::cp
