#include "HttpExchange.h"

#include <algorithm>

#include "BufferedReader.h"
#include "Exception.h"
#include "ExchangeDeadline.h"
#include "HttpProtocolError.h"
#include "HttpReplyReader.h"
#include "HttpRequest.h"
#include "HttpUrl.h"

namespace qelt {

namespace {

constexpr size_t kMaxBodyWrite = 32768;

bool IsSuccess(const HttpReplyHead& head) {
  const bool redirect = (head.code >= 300 && head.code <= 399 && head.code != 304) || head.hasLocation;
  return !redirect && head.code >= 200 && head.code <= 299;
}

uint16_t CheckedPort(int64_t port, const std::string& asWritten) {
  if (port < 0 || port > 65535) throw Exception("Invalid port number: " + asWritten);
  return static_cast<uint16_t>(port);
}

uint16_t ParseUrlPort(const std::string& text) {
  if (text.empty() || text.size() > 5 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    throw Exception("Invalid port number: " + text);
  }
  return CheckedPort(std::stol(text), text);
}

}  // namespace

std::string ReceiveReply(ByteStream& stream, const HttpLimits& limits) {
  BufferedReader reader(stream);
  const HttpReplyHead head = ReadReplyHead(reader, limits.readTimeoutMs, limits.maxHeadBytes);
  if (IsSuccess(head)) {
    if (!head.complete) throw Exception("Undefined situation");
    if (head.code == 204) return std::string();
    return ReadReplyBody(reader, head, limits.readTimeoutMs, limits.maxBodyBytes);
  }
  std::string body = ReadReplyBody(reader, head, limits.failedBodyTimeoutMs, limits.maxBodyBytes);
  throw EIdHTTPProtocolException(head.code, head.statusLine, std::move(body));
}

std::string PostOverStream(const StreamOpener& open, const std::string& url,
                           const std::string& body, const HttpProxySettings& proxy,
                           const HttpLimits& limits) {
  if (HasControlCharacter(proxy.server)) throw Exception("Proxy server contains control characters");
  const HttpUrl parts = SplitHttpUrl(url);
  const bool viaProxy = !proxy.server.empty();
  if (EqualsIgnoreCase(parts.scheme, "https")) {
    throw Exception(viaProxy ? "https is not supported, not even through a proxy"
                             : "IOHandler value is not valid");
  }
  const std::string& host = viaProxy ? proxy.server : parts.host;
  const uint16_t port = viaProxy ? CheckedPort(proxy.port, std::to_string(proxy.port))
                                 : ParseUrlPort(parts.port);
  const std::string head = BuildRequestHead(parts, body.size(), proxy);

  const Deadline deadline(limits.exchangeTimeoutMs);
  const std::unique_ptr<ByteStream> connection =
      open(host, port, std::min(limits.connectTimeoutMs, deadline.LeftMs()));
  DeadlineStream stream(*connection, deadline);
  try {
    stream.Write(head.data(), head.size(), limits.readTimeoutMs);
    for (size_t offset = 0; offset < body.size(); offset += kMaxBodyWrite) {
      stream.Write(body.data() + offset, std::min(kMaxBodyWrite, body.size() - offset),
                   limits.readTimeoutMs);
    }
  } catch (const Exception&) {
    // A peer may refuse the request as soon as it has the head (a proxy that
    // wants credentials) and close without reading the body, so sending
    // fails. Its answer then says more than the socket error: report a
    // refusal it sent; anything else, a success included, is the send failure.
    try {
      ReceiveReply(stream, limits);
    } catch (const EIdHTTPProtocolException&) {
      throw;
    } catch (const Exception&) {
    }
    throw;
  }
  return ReceiveReply(stream, limits);
}

}  // namespace qelt
