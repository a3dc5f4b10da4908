#include "CommandLineErrorBox.h"

#include <windows.h>

#include "CommandLineErrorBoxText.h"

namespace qelt {

void ShowErrorBox(const std::string& message) {
  ::MessageBoxA(nullptr, WithFullStop(message).c_str(), "QELTReader", MB_ICONERROR | MB_OK);
}

}  // namespace qelt
