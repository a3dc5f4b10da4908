// Code page conversions: the one seam between portable text logic and the platform.
// Windows builds use the system's code pages; native builds use iconv.
#pragma once
#include <string>
#include <string_view>

namespace qelt::cp {

constexpr unsigned kUtf8 = 65001;
constexpr unsigned kBig5 = 950;
constexpr unsigned kLatin1 = 28591;
constexpr unsigned kUsAscii = 20127;
constexpr unsigned kUtf16LE = 1200;
constexpr unsigned kUtf16BE = 1201;

// Decodes bytes in the given code page to UTF-16. False when the code page is
// unknown here or the bytes are not valid in it (nothing is guessed).
bool ToUtf16(unsigned codePage, std::string_view bytes, std::u16string& out);

// Encodes UTF-16 into the given code page. Characters the code page lacks
// become the platform's default character ('?'); false only when the code
// page is unknown here.
bool FromUtf16(unsigned codePage, std::u16string_view text, std::string& out);

// The process's ANSI code page (950 under a Big5 locale). Native builds
// answer from QELT_ACP in the environment, 950 by default.
unsigned AnsiCodePage();

// True when the byte starts a double-byte character in the ANSI code page.
bool IsLeadByte(unsigned char byte);

// Convenience forms over the ANSI code page and UTF-8.
std::u16string AnsiToUtf16(std::string_view ansi);
std::string Utf16ToAnsi(std::u16string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view utf8);

// Maps an encoding name from an XML declaration ("Big5", "UTF-8",
// "ISO-8859-1", "windows-1252", "US-ASCII", "Shift_JIS", ...) to a code page;
// 0 when the name is not one we can convert.
unsigned CodePageFromName(std::string_view name);

}  // namespace qelt::cp
