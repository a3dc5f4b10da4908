#include "SignText.h"

#include <cstdio>

#include "Protocol.h"
#include "Request.h"

namespace qelt::bridge {
namespace {

// Marks that reorder what is shown: the text signed would not be the text seen.
bool IsBidiControl(char32_t c) {
  return c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

bool IsRefusedControl(char32_t c) { return (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F; }

std::string Named(char32_t c, std::size_t position, const char* what) {
  char text[96];
  std::snprintf(text, sizeof text, "character %zu of the text, U+%04X, %s", position, static_cast<unsigned>(c), what);
  return text;
}

}  // namespace

std::optional<std::string> SignTextProblem(std::string_view utf8, const std::function<bool(char32_t)>& representable) {
  const std::size_t units = Utf16Units(utf8);
  if (units == 0) return std::string("the text to sign is empty");
  if (units > kMaxSignText)
    return "the text to sign is longer than " + std::to_string(kMaxSignText) + " characters";
  std::size_t position = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const int extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
    char32_t c = extra == 0 ? lead : lead & (0x3F >> extra);
    for (int k = 1; k <= extra && i + k < utf8.size(); ++k) c = (c << 6) | (utf8[i + k] & 0x3F);
    i += extra + 1;
    ++position;
    if (IsRefusedControl(c)) return Named(c, position, "is a control character");
    if (IsBidiControl(c)) return Named(c, position, "is a bidirectional control");
    if (c >= 0xD800 && c <= 0xDFFF) return Named(c, position, "is a lone surrogate");
    if (!representable(c)) return Named(c, position, "is not in the code page of this computer");
  }
  return std::nullopt;
}

}  // namespace qelt::bridge
