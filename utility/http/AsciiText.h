// Byte-wise tests on protocol text (URLs, header names, proxy names): ASCII
// rules only, whatever the process's code page.
#pragma once
#include <string>

namespace qelt {

// True when the text holds a byte below 0x20 or DEL.
bool HasControlCharacter(const std::string& text);

// Case-insensitive ASCII comparison.
bool EqualsIgnoreCase(const std::string& a, const std::string& b);

}  // namespace qelt
