#include "WinSockSession.h"

#include <winsock2.h>

#include "SocketErrorText.h"

namespace qelt {

WinSockSession::WinSockSession() {
  WSADATA data;
  const int error = WSAStartup(MAKEWORD(2, 2), &data);
  if (error != 0) ThrowSocketError(error);
}

WinSockSession::~WinSockSession() { WSACleanup(); }

}  // namespace qelt
