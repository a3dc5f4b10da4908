// qelt-bridge.exe: the native messaging host that lets a browser extension
// use the reader control. The browser starts one for each connection.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "ControlEndpoint.h"
#include "HostLoop.h"

namespace {

// Chrome and Edge on Windows name the window that asked: --parent-window=N.
HWND BrowserWindow(int argc, char** argv) {
  constexpr const char kOption[] = "--parent-window=";
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], kOption, sizeof kOption - 1) != 0) continue;
    char* end = nullptr;
    const unsigned long long handle = std::strtoull(argv[i] + sizeof kOption - 1, &end, 10);
    const HWND window = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(handle));
    if (end && *end == '\0' && handle != 0 && ::IsWindow(window)) return window;
  }
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  const HWND browser = BrowserWindow(argc, argv);
  return qelt::bridge::RunHost([browser](std::function<bool()> inputEnded) {
    // The standard handles are the frames' by now: the control's module
    // starts loading after.
    return std::make_unique<qelt::bridge::ControlEndpoint>(std::move(inputEnded), browser);
  });
}
