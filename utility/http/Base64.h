// Base64 text of arbitrary bytes.
#pragma once
#include <string>

namespace qelt {

// Standard Base64 (RFC 4648 alphabet, "=" padding), no line breaks at any
// length; zero bytes are encoded like any other byte.
std::string EncodeBase64(const std::string& bytes);

}  // namespace qelt
