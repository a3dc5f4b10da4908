#include "HttpExchange.h"

#include <algorithm>

#include "AsciiText.h"
#include "BufferedReader.h"
#include "Exception.h"
#include "EIdHTTPProtocolException.h"
#include "ExchangeDeadline.h"
#include "HttpReply.h"
#include "HttpRequest.h"
#include "HttpUrl.h"

namespace qelt {

namespace {

constexpr size_t kMaxBodyWrite = 32768;

bool IsSuccess(const HttpReplyHead& head) {
  const bool redirect = (head.code >= 300 && head.code <= 399 && head.code != 304) || head.hasLocation;
  return !redirect && head.code >= 200 && head.code <= 299;
}

}  // namespace

std::string ReceiveReply(ByteStream& stream, const HttpLimits& limits) {
  BufferedReader reader(stream);
  const HttpReplyHead head = ReadReplyHead(reader, limits.ioTimeout, limits.maxHeadBytes);
  if (IsSuccess(head)) {
    if (!head.complete) throw Exception("Undefined situation");
    if (head.code == 204) return std::string();
    return ReadReplyBody(reader, head, limits.ioTimeout, limits.maxBodyBytes);
  }
  std::string body = ReadReplyBody(reader, head, limits.failedBodyTimeout, limits.maxBodyBytes);
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
  const uint16_t port = viaProxy ? CheckedPort(proxy.port) : ParseUrlPort(parts.port);
  const std::string head = BuildRequestHead(parts, body.size(), proxy);

  const Deadline deadline(limits.exchangeTimeout);
  const std::unique_ptr<ByteStream> connection =
      open(host, port, std::min(limits.connectTimeout, deadline.Left()));
  DeadlineStream stream(*connection, deadline);
  try {
    stream.Write(head.data(), head.size(), limits.ioTimeout);
    for (size_t offset = 0; offset < body.size(); offset += kMaxBodyWrite) {
      stream.Write(body.data() + offset, std::min(kMaxBodyWrite, body.size() - offset),
                   limits.ioTimeout);
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
