// The HTTP POST exchange over WinSock.
#pragma once
#include <string>

#include "EIdHTTPProtocolException.h"
#include "HttpSettings.h"

namespace qelt {

// Posts body to url over a new connection (through the proxy when
// proxy.server is set) and returns the reply body as raw bytes. Throws
// EIdHTTPProtocolException for a reply that is not a success, including a
// redirect, and qelt::Exception for every other failure.
std::string HttpPost(const std::string& url, const std::string& body,
                     const HttpProxySettings& proxy, const HttpLimits& limits = HttpLimits());

}  // namespace qelt
