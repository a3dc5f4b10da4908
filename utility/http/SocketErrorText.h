// The failure text of the socket layer.
#pragma once
#include <string>

namespace qelt {

// "Socket Error # " + number + CR LF + the system's description of that error
// (ANSI code page, trailing line breaks removed).
std::string SocketErrorText(int error);

// Throws qelt::Exception with SocketErrorText(error).
[[noreturn]] void ThrowSocketError(int error);

}  // namespace qelt
