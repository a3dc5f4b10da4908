// Input files are taken as text: up to the first NUL, every line ended by CR LF.
#pragma once
#include <string>
#include <string_view>

namespace qelt {

// Lines end at CR, LF or CR LF; a last line without a break is still a line.
// Each line comes back followed by CR LF, the last one included, so "abc"
// gives "abc\r\n" and an empty input an empty text.
std::string NormaliseInputText(std::string_view bytes);

}  // namespace qelt
