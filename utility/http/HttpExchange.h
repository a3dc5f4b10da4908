// One POST exchange over a stream that the caller's opener connects: the
// whole protocol, independent of the socket layer.
#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "ByteStream.h"
#include "HttpSettings.h"

namespace qelt {

// Connects to host:port within timeout, or throws.
using StreamOpener = std::function<std::unique_ptr<ByteStream>(const std::string& host, uint16_t port,
                                                                std::chrono::milliseconds timeout)>;

// Posts body to url, directly or through the proxy, and returns the reply
// body as received. Throws EIdHTTPProtocolException for a reply that is not
// a success (redirects included) and qelt::Exception for every other
// failure. Nothing is connected when the URL or proxy is refused; the
// stream is closed on every path. From opening the stream to the end of the
// reply, every wait (the opener's included) gets at most what is left of
// limits.exchangeTimeout.
std::string PostOverStream(const StreamOpener& open, const std::string& url,
                           const std::string& body, const HttpProxySettings& proxy,
                           const HttpLimits& limits);

// Reads and judges the reply to a request already sent.
std::string ReceiveReply(ByteStream& stream, const HttpLimits& limits);

}  // namespace qelt
