// The two rules that shape a failure's text on its way to the user.
#pragma once
#include <windows.h>

#include <string>

namespace qelt::control {

// Removes every trailing character whose code is 32 or less and every
// trailing "."; a double-byte character of the ANSI code page counts whole.
std::string TrimMessageEnd(const std::string& text);

// The message a failed checkPin leaves for checkCard: the description,
// trimmed; when nothing is left, the platform's trimmed text for the
// result, or "OLE error " and its eight hexadecimal digits.
std::string CheckCardMessage(const std::string& description, HRESULT hr);

// The text of the creation error box: the message with a "." appended when
// its last character sorts after ".".
std::string DaxErrorText(const std::string& message);

}  // namespace qelt::control
