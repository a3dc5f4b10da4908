// Integer values given as text: decimal, or hexadecimal after $, x, X, 0x, 0X.
#pragma once
#include <cstdint>
#include <string>

namespace qelt {

// False for an empty value, a stray character (trailing blanks included), a
// decimal outside the signed 32-bit range or a hexadecimal of more than 32 bits.
bool TryStrToInt(const std::string& text, std::int32_t& value);
// As above; fails with "'<text>' is not a valid integer value".
std::int32_t StrToInt(const std::string& text);

}  // namespace qelt
