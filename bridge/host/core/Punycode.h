// Punycode (RFC 3492): how a host name's non-ASCII labels are written in ASCII.
#pragma once
#include <optional>
#include <string>

namespace qelt::bridge {

// The label's code points in Punycode, without the "xn--" prefix; nothing on overflow.
std::optional<std::string> PunycodeEncode(const std::u32string& label);

}  // namespace qelt::bridge
