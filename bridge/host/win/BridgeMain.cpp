// qelt-bridge.exe: the native messaging host that lets a browser extension
// use the reader control. The browser starts one for each connection.
#include "ControlEndpoint.h"
#include "HostLoop.h"

int main() {
  return qelt::bridge::RunHost([](std::function<bool()> inputEnded) {
    // The standard handles are the frames' by now: the control's module
    // starts loading after.
    return std::make_unique<qelt::bridge::ControlEndpoint>(std::move(inputEnded));
  });
}
