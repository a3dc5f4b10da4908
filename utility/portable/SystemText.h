// The system's own texts are written in the sources as UTF-16 literals and
// handed out as 8-bit text in the process's ANSI code page.
#pragma once
#include <string>

#include "CodePage.h"

namespace qelt {

inline std::string Ansi(std::u16string_view text) { return cp::Utf16ToAnsi(text); }

}  // namespace qelt
