// Splitting a URL into what one HTTP exchange needs.
#pragma once
#include <string>

namespace qelt {

struct HttpUrl {
  std::string scheme;  // as written
  std::string host;
  std::string port;    // as written, else "80" for http and "443" for https
  std::string target;  // origin form: starts with "/", no fragment

  // The Host header value: the host alone on port "80".
  std::string HostValue() const;
};

// The fragment (from the first '#') is dropped before anything is split;
// backslashes count as slashes; user information is dropped. Throws qelt::Exception with an empty message for a URL without a
// port whose scheme is neither http nor https, and our own messages for a
// URL without "://", without a host, or holding control characters (which
// would otherwise reach the request line or the Host header).
HttpUrl SplitHttpUrl(const std::string& url);

// True when the text holds a byte below 0x20 or DEL.
bool HasControlCharacter(const std::string& text);

// Case-insensitive ASCII comparison.
bool EqualsIgnoreCase(const std::string& a, const std::string& b);

}  // namespace qelt
