#include "Origin.h"

#include <cstdio>
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

// The address's eight 16-bit groups, from hex groups with at most one "::"
// and an IPv4 address in the last 32 bits.
bool Ipv6Groups(std::string_view text, std::vector<unsigned>& groups) {
  std::vector<unsigned> head, tail;
  bool compressed = false;
  std::vector<unsigned>* into = &head;
  std::size_t i = 0;
  if (text.substr(0, 2) == "::") {
    compressed = true;
    into = &tail;
    i = 2;
  }
  while (i < text.size()) {
    std::size_t end = i;
    while (end < text.size() && text[end] != ':') ++end;
    const std::string_view piece = text.substr(i, end - i);
    if (piece.find('.') != std::string_view::npos) {
      // Dotted IPv4: the last piece only, four decimal bytes.
      if (end != text.size()) return false;
      unsigned bytes[4], count = 0, value = 0, digits = 0;
      for (char c : std::string(piece) + ".") {
        if (c == '.') {
          if (digits == 0 || count == 4) return false;
          bytes[count++] = value;
          value = digits = 0;
        } else if (c >= '0' && c <= '9' && digits < 3) {
          value = value * 10 + (c - '0');
          ++digits;
          if (value > 255) return false;
        } else {
          return false;
        }
      }
      if (count != 4) return false;
      into->push_back(bytes[0] << 8 | bytes[1]);
      into->push_back(bytes[2] << 8 | bytes[3]);
      i = end;
      break;
    }
    if (piece.empty() || piece.size() > 4) return false;
    unsigned value = 0;
    for (char c : piece) {
      const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
      if (digit < 0) return false;
      value = value * 16 + static_cast<unsigned>(digit);
    }
    into->push_back(value);
    i = end;
    if (i == text.size()) break;
    if (text.substr(i, 2) == "::") {
      if (compressed) return false;
      compressed = true;
      into = &tail;
      i += 2;
    } else {
      ++i;  // one ":"
      if (i == text.size()) return false;
    }
  }
  const std::size_t given = head.size() + tail.size();
  if (compressed ? given > 7 : given != 8) return false;
  groups = head;
  groups.resize(8 - tail.size(), 0);
  groups.insert(groups.end(), tail.begin(), tail.end());
  return true;
}

// An IPv6 host as browsers write it in an origin: lower-case hex without
// leading zeros, the first longest run of two or more zero groups as "::".
bool Ipv6Host(std::string_view raw, std::string& host, std::string* problem) {
  const std::string lower = LowerAscii(raw.substr(1, raw.size() - 2));
  for (char c : lower) {
    const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || c == ':' || c == '.';
    if (!ok) return Fail(problem, "the IPv6 address holds a character no address has");
  }
  if (lower.find(':') == std::string::npos) return Fail(problem, "the IPv6 address has no \":\"");
  std::vector<unsigned> groups;
  if (!Ipv6Groups(lower, groups)) return Fail(problem, "not an IPv6 address");
  std::size_t runStart = 8, runLength = 0;
  for (std::size_t i = 0; i < 8;) {
    std::size_t j = i;
    while (j < 8 && groups[j] == 0) ++j;
    if (j - i > runLength && j - i >= 2) {
      runStart = i;
      runLength = j - i;
    }
    i = j == i ? i + 1 : j;
  }
  host = "[";
  for (std::size_t i = 0; i < 8; ++i) {
    if (i == runStart) {
      host += "::";
      i += runLength - 1;
      continue;
    }
    if (host.back() != '[' && host.back() != ':') host += ':';
    char digits[8];
    std::snprintf(digits, sizeof digits, "%x", groups[i]);
    host += digits;
  }
  host += "]";
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

namespace {

// A name under base, at a label boundary: "a.example.org" under "example.org".
bool IsSubdomain(const std::string& host, const std::string& base) {
  return host.size() > base.size() + 1 && host.compare(host.size() - base.size(), base.size(), base) == 0 &&
         host[host.size() - base.size() - 1] == '.';
}

}  // namespace

bool EntryMatches(const Origin& entry, const Origin& origin) {
  if (origin.wildcard || entry.scheme != origin.scheme || entry.port != origin.port) return false;
  return entry.wildcard ? IsSubdomain(origin.host, entry.host) : entry.host == origin.host;
}

std::optional<BlockRule> ParseBlockRule(std::string_view text) {
  const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && space(text.front())) text.remove_prefix(1);
  while (!text.empty() && space(text.back())) text.remove_suffix(1);
  BlockRule rule;
  if (text == "*") {
    rule.everything = true;
    return rule;
  }
  std::optional<Origin> parsed;
  if (text.find("://") != std::string_view::npos) {
    parsed = ParseOrigin(text, true);
  } else {
    // A bare host has no port: "host:8443" is neither form, and fails closed.
    const auto bracket = text.rfind(']');
    const auto colon = text.rfind(':');
    if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) return std::nullopt;
    parsed = ParseOrigin("https://" + std::string(text), true);
  }
  if (!parsed) return std::nullopt;
  rule.host = parsed->host;
  rule.subdomains = parsed->wildcard;
  return rule;
}

bool BlockMatches(const BlockRule& rule, const Origin& origin) {
  return rule.everything || origin.host == rule.host || (rule.subdomains && IsSubdomain(origin.host, rule.host));
}

}  // namespace qelt::bridge
