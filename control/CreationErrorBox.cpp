#include "CreationErrorBox.h"

#include <windows.h>

#include "FailureText.h"

namespace qelt::control {

void ShowDaxError(const std::string& message) noexcept {
  try {
    ::MessageBoxA(nullptr, DaxErrorText(message).c_str(), "DAX Error", MB_ICONSTOP | MB_OK | MB_SETFOREGROUND);
  } catch (...) {
    // No memory for the text: the failed creation is still reported.
  }
}

}  // namespace qelt::control
