// Splitting a URL into what one HTTP exchange needs.
#pragma once
#include <cstdint>
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

// The port of a split URL as a number: one to five decimal digits, at most
// 65535. Throws "Invalid port number: " and the text otherwise.
uint16_t ParseUrlPort(const std::string& text);

// A port given as a number (the proxy's): 0 to 65535, else throws
// "Invalid port number: " and the number.
uint16_t CheckedPort(int64_t port);

}  // namespace qelt
