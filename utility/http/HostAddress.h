// Host names that are turned into IPv4 addresses without a lookup.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace qelt {

// "localhost" in any case gives 127.0.0.1; a dotted IPv4 address ("a.b.c.d",
// each part 0 to 255) gives its four bytes. Anything else needs a lookup.
std::optional<std::array<uint8_t, 4>> LiteralIpv4(const std::string& host);

}  // namespace qelt
