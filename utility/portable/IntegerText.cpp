#include "IntegerText.h"

#include "Exception.h"

namespace qelt {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool TryStrToInt(const std::string& text, std::int32_t& value) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && text[i] == ' ') ++i;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';

  bool hex = false;
  if (i < n && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    hex = true;
    i += 1;
  } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i == n) return false;  // no digits at all

  std::uint64_t magnitude = 0;
  const std::uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
  for (; i < n; ++i) {
    const int digit = hex ? HexDigit(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
    if (digit < 0) return false;
    magnitude = magnitude * (hex ? 16 : 10) + static_cast<unsigned>(digit);
    if (magnitude > limit) return false;
  }
  // Hexadecimal takes all 32 bits, so $FFFFFFFF is -1.
  const std::uint32_t bits = static_cast<std::uint32_t>(magnitude);
  value = static_cast<std::int32_t>(negative ? 0u - bits : bits);
  return true;
}

std::int32_t StrToInt(const std::string& text) {
  std::int32_t value = 0;
  if (!TryStrToInt(text, value)) throw Exception("'" + text + "' is not a valid integer value");
  return value;
}

}  // namespace qelt
