// qelt-bridge.exe: the native messaging host that lets a browser extension
// use the reader control. The browser starts one for each connection.
#include "ControlEndpoint.h"
#include "ControlPreload.h"
#include "HostLoop.h"

int main() {
  qelt::bridge::PreloadControlModule();
  return qelt::bridge::RunHost([](std::function<bool()> inputEnded) {
    return std::make_unique<qelt::bridge::ControlEndpoint>(std::move(inputEnded));
  });
}
