#include "HttpUrl.h"

#include <algorithm>

#include "AsciiText.h"
#include "Exception.h"

namespace qelt {

uint16_t CheckedPort(int64_t port) {
  if (port < 0 || port > 65535) throw Exception("Invalid port number: " + std::to_string(port));
  return static_cast<uint16_t>(port);
}

uint16_t ParseUrlPort(const std::string& text) {
  if (text.empty() || text.size() > 5 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    throw Exception("Invalid port number: " + text);
  }
  const long port = std::stol(text);
  if (port > 65535) throw Exception("Invalid port number: " + text);
  return static_cast<uint16_t>(port);
}

std::string HttpUrl::HostValue() const { return port == "80" ? host : host + ":" + port; }

HttpUrl SplitHttpUrl(const std::string& url) {
  if (HasControlCharacter(url)) throw Exception("URL contains control characters");
  // The fragment is for the client alone. It goes first, so that a '#' can
  // move neither the host nor the port.
  std::string text = url.substr(0, url.find('#'));
  std::replace(text.begin(), text.end(), '\\', '/');

  const size_t schemeEnd = text.find("://");
  if (schemeEnd == std::string::npos) throw Exception("URL has no scheme and host: " + url);

  HttpUrl parts;
  parts.scheme = text.substr(0, schemeEnd);
  const size_t authorityStart = schemeEnd + 3;
  const size_t slash = text.find('/', authorityStart);
  std::string authority = text.substr(authorityStart, slash == std::string::npos
                                                          ? std::string::npos
                                                          : slash - authorityStart);
  const size_t at = authority.rfind('@');
  if (at != std::string::npos) authority.erase(0, at + 1);

  const size_t colon = authority.find(':');
  parts.host = authority.substr(0, colon);
  if (colon != std::string::npos) parts.port = authority.substr(colon + 1);

  if (parts.port.empty()) {
    if (EqualsIgnoreCase(parts.scheme, "http")) {
      parts.port = "80";
    } else if (EqualsIgnoreCase(parts.scheme, "https")) {
      parts.port = "443";
    } else {
      throw Exception("");
    }
  }
  if (parts.host.empty()) throw Exception("URL has no host: " + url);

  if (slash != std::string::npos) parts.target = text.substr(slash);
  if (parts.target.empty()) parts.target = "/";
  return parts;
}

}  // namespace qelt
