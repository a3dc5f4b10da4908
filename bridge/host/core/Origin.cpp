#include "Origin.h"

#include <vector>

#include "Punycode.h"

namespace qelt::bridge {
namespace {

bool Fail(std::string* problem, std::string text) {
  if (problem) *problem = std::move(text);
  return false;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Lower(c);
  return out;
}

// Strict UTF-8 to code points; false on anything malformed.
bool DecodeUtf8(std::string_view text, std::u32string& out) {
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    int extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
    if (extra < 0 || (extra > 0 && i + extra >= text.size())) return false;
    char32_t c = extra == 0 ? b : b & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      c = (c << 6) | (next & 0x3F);
    }
    static const char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (c < kMin[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    out.push_back(c);
    i += extra + 1;
  }
  return true;
}

bool IsDot(char32_t c) { return c == U'.' || c == 0x3002 || c == 0xFF0E || c == 0xFF61; }

// Lower case for the letters a host name is typed with: ASCII, full-width
// ASCII (to plain ASCII, as host names map it), Latin-1, Greek and Cyrillic.
char32_t FoldCase(char32_t c) {
  if (c >= U'A' && c <= U'Z') return c - U'A' + U'a';
  if (c >= 0xFF21 && c <= 0xFF3A) return c - 0xFF21 + U'a';
  if (c >= 0xFF41 && c <= 0xFF5A) return c - 0xFF41 + U'a';
  if (c >= 0xFF10 && c <= 0xFF19) return c - 0xFF10 + U'0';
  if (c == 0xFF0D) return U'-';
  if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2) || (c >= 0x410 && c <= 0x42F))
    return c + 0x20;
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  return c;
}

// A host name's labels in ASCII: non-ASCII labels in Punycode.
bool AsciiHost(std::string_view raw, bool allowWildcard, std::string& host, bool& wildcard, std::string* problem) {
  std::u32string points;
  if (!DecodeUtf8(raw, points)) return Fail(problem, "the host is not valid UTF-8");
  std::vector<std::u32string> labels(1);
  for (char32_t c : points) {
    if (IsDot(c)) labels.emplace_back();
    else labels.back().push_back(FoldCase(c));
  }
  wildcard = false;
  if (labels.front() == U"*") {
    if (!allowWildcard) return Fail(problem, "a wildcard is not an origin");
    wildcard = true;
    labels.erase(labels.begin());
    if (labels.empty()) return Fail(problem, "a wildcard needs a domain after \"*.\"");
  }
  host.clear();
  for (const auto& label : labels) {
    std::string ascii;
    bool plain = true;
    for (char32_t c : label) plain = plain && c < 0x80;
    // Punycode is never shorter than the label: a long one cannot fit, and
    // converting it would only cost time.
    if (label.size() > 63) return Fail(problem, "the host has an empty or overlong label");
    if (plain) {
      for (char32_t c : label) ascii.push_back(static_cast<char>(c));
    } else {
      auto encoded = PunycodeEncode(label);
      if (!encoded) return Fail(problem, "the host cannot be written in ASCII");
      ascii = "xn--" + *encoded;
    }
    if (ascii.empty() || ascii.size() > 63) return Fail(problem, "the host has an empty or overlong label");
    for (char c : ascii) {
      const bool ok = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
      if (!ok) return Fail(problem, c == '*' ? "\"*\" may only stand as the leftmost label"
                                             : "the host holds a character no host name has");
    }
    if (!host.empty()) host.push_back('.');
    host += ascii;
  }
  if (host.size() > 253) return Fail(problem, "the host is too long");
  return true;
}

bool Ipv6Host(std::string_view raw, std::string& host, std::string* problem) {
  const std::string lower = LowerAscii(raw);
  bool colon = false;
  for (char c : lower.substr(1, lower.size() - 2)) {
    const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || c == ':' || c == '.';
    if (!ok) return Fail(problem, "the IPv6 address holds a character no address has");
    colon = colon || c == ':';
  }
  if (!colon) return Fail(problem, "the IPv6 address has no \":\"");
  host = lower;
  return true;
}

}  // namespace

std::string Origin::Text() const {
  std::string text = scheme + "://" + (wildcard ? "*." : "") + host;
  if (port != 0) text += ":" + std::to_string(port);
  return text;
}

std::optional<Origin> ParseOrigin(std::string_view text, bool allowWildcard, std::string* problem) {
  const auto separator = text.find("://");
  if (separator == std::string_view::npos) return Fail(problem, "not of the form scheme://host[:port]"), std::nullopt;
  Origin origin;
  origin.scheme = LowerAscii(text.substr(0, separator));
  if (origin.scheme != "http" && origin.scheme != "https")
    return Fail(problem, "only http and https origins can use the card"), std::nullopt;
  std::string_view rest = text.substr(separator + 3);
  for (char c : rest) {
    if (c == '/' || c == '\\' || c == '?' || c == '#')
      return Fail(problem, "an origin has no path, query or fragment"), std::nullopt;
    if (c == '@') return Fail(problem, "an origin has no user information"), std::nullopt;
    if (c == '%' || static_cast<unsigned char>(c) <= 0x20)
      return Fail(problem, "the host holds a character no host name has"), std::nullopt;
  }
  std::string_view hostPart = rest, portPart;
  bool hasPort = false;
  if (!rest.empty() && rest.front() == '[') {
    const auto close = rest.find(']');
    if (close == std::string_view::npos) return Fail(problem, "the IPv6 address has no \"]\""), std::nullopt;
    hostPart = rest.substr(0, close + 1);
    const std::string_view after = rest.substr(close + 1);
    if (!after.empty()) {
      if (after.front() != ':') return Fail(problem, "text follows the IPv6 address"), std::nullopt;
      hasPort = true;
      portPart = after.substr(1);
    }
    if (!Ipv6Host(hostPart, origin.host, problem)) return std::nullopt;
  } else {
    const auto colon = rest.rfind(':');
    if (colon != std::string_view::npos) {
      hostPart = rest.substr(0, colon);
      portPart = rest.substr(colon + 1);
      hasPort = true;
    }
    if (hostPart.empty()) return Fail(problem, "the origin has no host"), std::nullopt;
    if (!AsciiHost(hostPart, allowWildcard, origin.host, origin.wildcard, problem)) return std::nullopt;
  }
  if (hasPort) {
    if (portPart.empty() || portPart.size() > 5) return Fail(problem, "the port is not a number from 1 to 65535"), std::nullopt;
    long port = 0;
    for (char c : portPart) {
      if (c < '0' || c > '9') return Fail(problem, "the port is not a number from 1 to 65535"), std::nullopt;
      port = port * 10 + (c - '0');
    }
    if (port < 1 || port > 65535) return Fail(problem, "the port is not a number from 1 to 65535"), std::nullopt;
    const int defaultPort = origin.scheme == "https" ? 443 : 80;
    origin.port = port == defaultPort ? 0 : static_cast<int>(port);
  }
  return origin;
}

bool IsLoopbackHost(const std::string& host) {
  return host == "localhost" || host == "127.0.0.1" || host == "[::1]";
}

bool EntryMatches(const Origin& entry, const Origin& origin) {
  if (origin.wildcard || entry.scheme != origin.scheme || entry.port != origin.port) return false;
  if (!entry.wildcard) return entry.host == origin.host;
  const std::string& base = entry.host;
  return origin.host.size() > base.size() + 1 &&
         origin.host.compare(origin.host.size() - base.size(), base.size(), base) == 0 &&
         origin.host[origin.host.size() - base.size() - 1] == '.';
}

}  // namespace qelt::bridge
