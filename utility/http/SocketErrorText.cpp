#include "SocketErrorText.h"

#include <winsock2.h>
#include <windows.h>

#include "Exception.h"

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
  char* buffer = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string description;
  if (length != 0 && buffer) description.assign(buffer, length);
  if (buffer) LocalFree(buffer);
  while (!description.empty() && (description.back() == '\r' || description.back() == '\n')) {
    description.pop_back();
  }
  if (description.empty()) description = FallbackDescription(error);
  return "Socket Error # " + std::to_string(error) + "\r\n" + description;
}

void ThrowSocketError(int error) { throw Exception(SocketErrorText(error)); }

}  // namespace qelt
