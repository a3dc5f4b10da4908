// The texts around the card's cryptography: Base64 and the bytes of a text.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace qelt::card {

// Base64 on one line, as the card hands out signatures and envelopes.
std::wstring ToBase64(const std::vector<BYTE>& bytes);
// Accepts line breaks and blanks between the characters; false on anything else.
bool FromBase64(const std::wstring& text, std::vector<BYTE>& bytes);

// Texts are signed and encrypted as their bytes in the ANSI code page.
std::vector<BYTE> AnsiBytes(const std::wstring& text);
std::wstring FromAnsiBytes(const std::vector<BYTE>& bytes);

}  // namespace qelt::card
