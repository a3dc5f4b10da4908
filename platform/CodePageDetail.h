// What each platform file provides to CodePageCommon.cpp.
#pragma once
#include <string>
#include <string_view>

namespace qelt::cp::detail {
bool PlatformToUtf16(unsigned codePage, std::string_view bytes, std::u16string& out);
// Like PlatformToUtf16 but never fails on invalid bytes (best effort, as the
// platform's own string conversions do for ANSI text).
bool PlatformToUtf16Lenient(unsigned codePage, std::string_view bytes, std::u16string& out);
bool PlatformFromUtf16(unsigned codePage, std::u16string_view text, std::string& out);
}  // namespace qelt::cp::detail
