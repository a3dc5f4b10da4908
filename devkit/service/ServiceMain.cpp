// QELTValidationService.exe: the development kit's local validation
// service. Each connection is served on a thread of its own, so a peer that
// stalls holds up nobody else.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Exception.h"
#include "HostAddress.h"
#include "RevokedSerials.h"
#include "ServiceExchange.h"
#include "ServiceOptions.h"
#include "SocketErrorText.h"
#include "WinSockSession.h"
#include "WinSockStream.h"
#include "win/Thread.h"

namespace qelt::devkit {
namespace {

std::mutex g_output;

void Log(const std::string& line) {
  const std::lock_guard<std::mutex> lock(g_output);
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

ScopedSocket Listen(const std::string& host, uint16_t port, uint16_t& bound) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  const auto literal = LiteralIpv4(host);
  if (!literal) throw Exception("--host takes an IPv4 address or localhost: " + host);
  std::memcpy(&address.sin_addr, literal->data(), 4);

  ScopedSocket listener(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (listener.Get() == INVALID_SOCKET) ThrowSocketError(WSAGetLastError());
  if (bind(listener.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener.Get(), SOMAXCONN) != 0)
    ThrowSocketError(WSAGetLastError());
  int size = sizeof address;
  if (getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&address), &size) != 0)
    ThrowSocketError(WSAGetLastError());
  bound = ntohs(address.sin_port);
  return listener;
}

int Run(const ServiceOptions& options) {
  auto revoked = std::make_shared<RevokedSerials>();
  for (const std::string& file : options.revokedFiles) revoked->AddFile(file);
  for (const std::string& serial : options.revoked) revoked->Add(serial);

  WinSockSession session;
  uint16_t port = 0;
  const ScopedSocket listener = Listen(options.host, options.port, port);
  if (!options.readyFile.empty()) {
    std::ofstream ready(options.readyFile, std::ios::trunc);
    ready << port << "\n";
    if (!ready.flush()) throw Exception("Cannot write " + options.readyFile);
  }
  Log("QELTValidationService listening on " + options.host + ":" + std::to_string(port) + ", " +
      std::to_string(revoked->Size()) + " revoked serial(s)");

  const ServiceLimits limits;
  for (;;) {
    const SOCKET accepted = accept(listener.Get(), nullptr, nullptr);
    if (accepted == INVALID_SOCKET) {
      Log("accept failed: " + SocketErrorText(WSAGetLastError()));
      continue;
    }
    const std::shared_ptr<WinSockStream> peer = WinSockStream::Adopt(accepted);
    try {
      win::StartThread([peer, revoked, limits] { Log(ServeOneRequest(*peer, *revoked, limits)); });
    } catch (const Exception& e) {
      Log("(not served: " + e.Message() + ")");
    }
  }
}

}  // namespace
}  // namespace qelt::devkit

int main(int argc, char** argv) {
  using namespace qelt::devkit;
  try {
    const ServiceOptions options = ParseServiceOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (options.help) {
      std::fputs(kServiceUsage, stdout);
      return 0;
    }
    return Run(options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "QELTValidationService: %s\n%s", e.what(), kServiceUsage);
    return 2;
  }
}
