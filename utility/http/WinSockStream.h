// A TCP connection over WinSock as a ByteStream. Needs a live WinSockSession.
#pragma once
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include <winsock2.h>

#include "ByteStream.h"

namespace qelt {

// Owns one socket and closes it on destruction.
class ScopedSocket {
 public:
  explicit ScopedSocket(SOCKET socket = INVALID_SOCKET) : socket_(socket) {}
  ~ScopedSocket() { Close(); }
  ScopedSocket(ScopedSocket&& other) noexcept : socket_(std::exchange(other.socket_, INVALID_SOCKET)) {}
  ScopedSocket(const ScopedSocket&) = delete;
  ScopedSocket& operator=(const ScopedSocket&) = delete;
  SOCKET Get() const { return socket_; }
  void Close();

 private:
  SOCKET socket_;
};

class WinSockStream : public ByteStream {
 public:
  // Resolves host to one IPv4 address and connects within timeout.
  // Throws the socket error text on failure (WSAETIMEDOUT on time-out).
  static std::unique_ptr<WinSockStream> Connect(const std::string& host, uint16_t port,
                                                std::chrono::milliseconds timeout);

  // Takes over a socket that is already connected (one a server accepted).
  static std::unique_ptr<WinSockStream> Adopt(SOCKET connected);

  size_t Read(char* buffer, size_t capacity, std::chrono::milliseconds timeout) override;
  void Write(const char* data, size_t size, std::chrono::milliseconds timeout) override;

 private:
  explicit WinSockStream(SOCKET socket) : socket_(socket) {}
  // Sets the socket's own receive or send time-out when it changes: cheaper
  // than a wait before every call.
  void UseTimeout(int option, std::chrono::milliseconds timeout, std::chrono::milliseconds& current);

  ScopedSocket socket_;
  std::chrono::milliseconds readTimeout_{-1};   // -1: not set yet
  std::chrono::milliseconds writeTimeout_{-1};
};

}  // namespace qelt
