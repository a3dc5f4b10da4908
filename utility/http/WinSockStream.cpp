#include "WinSockStream.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "Exception.h"
#include "HostAddress.h"
#include "SocketErrorText.h"

namespace qelt {

namespace {

timeval ToTimeval(int timeoutMs) {
  timeval tv;
  tv.tv_sec = timeoutMs / 1000;
  tv.tv_usec = (timeoutMs % 1000) * 1000;
  return tv;
}

in_addr Resolve(const std::string& host) {
  in_addr address{};
  if (const auto literal = LiteralIpv4(host)) {
    std::memcpy(&address, literal->data(), 4);
    return address;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  const int error = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (error != 0 || !found) {
    if (found) freeaddrinfo(found);
    ThrowSocketError(error != 0 ? error : WSAHOST_NOT_FOUND);
  }
  address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
  freeaddrinfo(found);
  return address;
}

void SetNonBlocking(SOCKET socket, bool on) {
  u_long mode = on ? 1 : 0;
  if (ioctlsocket(socket, FIONBIO, &mode) != 0) ThrowSocketError(WSAGetLastError());
}

void ConnectWithin(SOCKET socket, const sockaddr_in& address, int timeoutMs) {
  SetNonBlocking(socket, true);
  if (connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int error = WSAGetLastError();
    if (error != WSAEWOULDBLOCK) ThrowSocketError(error);

    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(socket, &writable);
    FD_SET(socket, &failed);
    timeval tv = ToTimeval(timeoutMs);
    const int ready = select(0, nullptr, &writable, &failed, &tv);
    if (ready == SOCKET_ERROR) ThrowSocketError(WSAGetLastError());
    if (ready == 0) ThrowSocketError(WSAETIMEDOUT);
    int socketError = 0;
    int size = sizeof socketError;
    if (getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&socketError), &size) != 0) {
      ThrowSocketError(WSAGetLastError());
    }
    if (socketError != 0) ThrowSocketError(socketError);
    if (FD_ISSET(socket, &failed)) ThrowSocketError(WSAECONNREFUSED);
  }
  SetNonBlocking(socket, false);
}

}  // namespace

void ScopedSocket::Close() {
  if (socket_ != INVALID_SOCKET) {
    closesocket(socket_);
    socket_ = INVALID_SOCKET;
  }
}

std::unique_ptr<WinSockStream> WinSockStream::Connect(const std::string& host, uint16_t port,
                                                      int timeoutMs) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr = Resolve(host);

  std::unique_ptr<WinSockStream> stream(new WinSockStream(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)));
  if (stream->socket_.Get() == INVALID_SOCKET) ThrowSocketError(WSAGetLastError());
  ConnectWithin(stream->socket_.Get(), address, timeoutMs);
  return stream;
}

void WinSockStream::UseTimeout(int option, int timeoutMs, int& current) {
  if (timeoutMs == current) return;
  // Zero would mean "wait for ever" to the socket layer.
  const DWORD value = static_cast<DWORD>(std::max(timeoutMs, 1));
  if (setsockopt(socket_.Get(), SOL_SOCKET, option, reinterpret_cast<const char*>(&value), sizeof value) != 0)
    ThrowSocketError(WSAGetLastError());
  current = timeoutMs;
}

size_t WinSockStream::Read(char* buffer, size_t capacity, int timeoutMs) {
  UseTimeout(SO_RCVTIMEO, timeoutMs, readTimeoutMs_);
  const int got = recv(socket_.Get(), buffer, static_cast<int>(std::min<size_t>(capacity, INT_MAX)), 0);
  if (got == SOCKET_ERROR) {
    const int error = WSAGetLastError();
    if (error == WSAETIMEDOUT) throw Exception("Read Timeout");
    ThrowSocketError(error);
  }
  return static_cast<size_t>(got);
}

void WinSockStream::Write(const char* data, size_t size, int timeoutMs) {
  UseTimeout(SO_SNDTIMEO, timeoutMs, writeTimeoutMs_);
  while (size > 0) {
    const int sent = send(socket_.Get(), data, static_cast<int>(std::min<size_t>(size, INT_MAX)), 0);
    if (sent == SOCKET_ERROR) {
      const int error = WSAGetLastError();
      if (error == WSAETIMEDOUT) throw Exception("Write Timeout");
      ThrowSocketError(error);
    }
    data += sent;
    size -= static_cast<size_t>(sent);
  }
}

}  // namespace qelt
