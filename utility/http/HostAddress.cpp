#include "HostAddress.h"

#include "AsciiText.h"

namespace qelt {

std::optional<std::array<uint8_t, 4>> LiteralIpv4(const std::string& host) {
  if (EqualsIgnoreCase(host, "localhost")) return std::array<uint8_t, 4>{127, 0, 0, 1};
  std::array<uint8_t, 4> bytes{};
  size_t pos = 0;
  for (size_t part = 0; part < 4; ++part) {
    if (part > 0) {
      if (pos >= host.size() || host[pos] != '.') return std::nullopt;
      ++pos;
    }
    unsigned value = 0;
    size_t digits = 0;
    while (pos < host.size() && host[pos] >= '0' && host[pos] <= '9' && digits < 4) {
      value = value * 10 + static_cast<unsigned>(host[pos] - '0');
      ++pos;
      ++digits;
    }
    if (digits == 0 || digits > 3 || value > 255) return std::nullopt;
    bytes[part] = static_cast<uint8_t>(value);
  }
  if (pos != host.size()) return std::nullopt;
  return bytes;
}

}  // namespace qelt
