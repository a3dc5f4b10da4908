// The card information gives certificate dates in the Republic of China
// calendar (year 1912 is its year 1).
#pragma once
#include <string>

namespace qelt {

// A Gregorian YYYYMMDD text as a date of the Republic of China calendar.
std::string ToRocDate(const std::string& text);
// Left-pads with whole copies of pad up to width; longer texts stay whole.
std::string PadLeft(const std::string& text, int width, const std::string& pad);

}  // namespace qelt
