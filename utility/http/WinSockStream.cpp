#include "WinSockStream.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>

#include "Exception.h"
#include "HostAddress.h"
#include "SocketErrorText.h"

namespace qelt {

namespace {

timeval ToTimeval(std::chrono::milliseconds timeout) {
  timeval tv;
  tv.tv_sec = static_cast<long>(timeout.count() / 1000);
  tv.tv_usec = static_cast<long>((timeout.count() % 1000) * 1000);
  return tv;
}

struct AddressListFree {
  void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

in_addr Resolve(const std::string& host) {
  if (const auto literal = LiteralIpv4(host)) {
    in_addr address{};
    std::memcpy(&address, literal->data(), 4);
    return address;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* raw = nullptr;
  const int error = getaddrinfo(host.c_str(), nullptr, &hints, &raw);
  const std::unique_ptr<addrinfo, AddressListFree> found(raw);
  if (error != 0 || !found) ThrowSocketError(error != 0 ? error : WSAHOST_NOT_FOUND);
  return reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
}

void SetNonBlocking(SOCKET socket, bool on) {
  u_long mode = on ? 1 : 0;
  if (ioctlsocket(socket, FIONBIO, &mode) != 0) ThrowSocketError(WSAGetLastError());
}

void ConnectWithin(SOCKET socket, const sockaddr_in& address, std::chrono::milliseconds timeout) {
  SetNonBlocking(socket, true);
  if (connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int error = WSAGetLastError();
    if (error != WSAEWOULDBLOCK) ThrowSocketError(error);

    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(socket, &writable);
    FD_SET(socket, &failed);
    timeval tv = ToTimeval(timeout);
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
                                                      std::chrono::milliseconds timeout) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr = Resolve(host);

  std::unique_ptr<WinSockStream> stream(new WinSockStream(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)));
  if (stream->socket_.Get() == INVALID_SOCKET) ThrowSocketError(WSAGetLastError());
  ConnectWithin(stream->socket_.Get(), address, timeout);
  return stream;
}

std::unique_ptr<WinSockStream> WinSockStream::Adopt(SOCKET connected) {
  return std::unique_ptr<WinSockStream>(new WinSockStream(connected));
}

void WinSockStream::UseTimeout(int option, std::chrono::milliseconds timeout,
                               std::chrono::milliseconds& current) {
  if (timeout == current) return;
  // Zero would mean "wait for ever" to the socket layer.
  const DWORD value = static_cast<DWORD>(std::clamp<std::chrono::milliseconds::rep>(timeout.count(), 1, MAXDWORD));
  if (setsockopt(socket_.Get(), SOL_SOCKET, option, reinterpret_cast<const char*>(&value), sizeof value) != 0)
    ThrowSocketError(WSAGetLastError());
  current = timeout;
}

size_t WinSockStream::Read(char* buffer, size_t capacity, std::chrono::milliseconds timeout) {
  UseTimeout(SO_RCVTIMEO, timeout, readTimeout_);
  const int got = recv(socket_.Get(), buffer, static_cast<int>(std::min<size_t>(capacity, INT_MAX)), 0);
  if (got == SOCKET_ERROR) {
    const int error = WSAGetLastError();
    if (error == WSAETIMEDOUT) throw Exception("Read Timeout");
    ThrowSocketError(error);
  }
  return static_cast<size_t>(got);
}

void WinSockStream::Write(const char* data, size_t size, std::chrono::milliseconds timeout) {
  UseTimeout(SO_SNDTIMEO, timeout, writeTimeout_);
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
