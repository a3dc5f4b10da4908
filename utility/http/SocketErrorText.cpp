#include "SocketErrorText.h"

#include <windows.h>

#include "Exception.h"

namespace qelt {

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
  return "Socket Error # " + std::to_string(error) + "\r\n" + description;
}

void ThrowSocketError(int error) { throw Exception(SocketErrorText(error)); }

}  // namespace qelt
