#include "SocketErrorText.h"

#include <winsock2.h>
#include <windows.h>

#include "Exception.h"
#include "win/Text.h"

namespace qelt {

namespace {

// Used only where the system has no text of its own (Wine lacks several).
const char* FallbackDescription(int error) {
  switch (error) {
    case WSAETIMEDOUT: return "Connection timed out.";
    case WSAEADDRNOTAVAIL: return "Cannot assign requested address.";
    case WSAECONNABORTED: return "Software caused connection abort.";
    case WSAECONNRESET: return "Connection reset by peer.";
    case WSAECONNREFUSED: return "Connection refused.";
    case WSAENETUNREACH: return "Network is unreachable.";
    case WSAEHOSTUNREACH: return "No route to host.";
    case WSAHOST_NOT_FOUND: return "Host not found.";
    case WSATRY_AGAIN: return "Non-authoritative host not found.";
    case WSANO_DATA: return "Valid name, no data record of requested type.";
    default: return "";
  }
}

}  // namespace

std::string SocketErrorText(int error) {
  std::string description = win::SystemMessage(static_cast<DWORD>(error));
  if (description.empty()) description = FallbackDescription(error);
  return "Socket Error # " + std::to_string(error) + "\r\n" + description;
}

void ThrowSocketError(int error) { throw Exception(SocketErrorText(error)); }

}  // namespace qelt
