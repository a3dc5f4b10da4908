// WinSock start-up for the lifetime of one object (never at load time).
#pragma once

namespace qelt {

class WinSockSession {
 public:
  WinSockSession();  // throws the socket error text when start-up fails
  ~WinSockSession();
  WinSockSession(const WinSockSession&) = delete;
  WinSockSession& operator=(const WinSockSession&) = delete;
};

}  // namespace qelt
