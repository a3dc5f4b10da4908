// qelt-bridge.exe: the native messaging host that lets a browser extension
// use the reader control. The browser starts one for each connection.
#include "ControlEndpoint.h"
#include "ControlPreload.h"
#include "HostLoop.h"

int main() {
  return qelt::bridge::RunHost([](std::function<bool()> inputEnded) {
    // The standard handles are the frames' by now: the module loads after.
    qelt::bridge::PreloadControlModule();
    return std::make_unique<qelt::bridge::ControlEndpoint>(std::move(inputEnded));
  });
}
