// A toolkit result code becomes its message: the error table's string
// resource of that number, loaded from the calling module.
#include "MessageObject.h"

#include <windows.h>

#include "win/Text.h"

namespace qelt {

std::string TQeltUtility::GetErrorMessage(std::int32_t code) const {
  // String ids are 16-bit; anything else has no entry.
  if (code <= 0 || code > 0xFFFF) return {};
  char buffer[1024];
  const int n = ::LoadStringA(win::ThisModule(), static_cast<UINT>(code), buffer, sizeof buffer);
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

}  // namespace qelt
