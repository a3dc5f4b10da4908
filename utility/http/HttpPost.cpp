#include "HttpPost.h"

#include "HttpExchange.h"
#include "WinSockSession.h"
#include "WinSockStream.h"

namespace qelt {

std::string HttpPost(const std::string& url, const std::string& body,
                     const HttpProxySettings& proxy, const HttpLimits& limits) {
  WinSockSession session;
  return PostOverStream(
      [](const std::string& host, uint16_t port,
         std::chrono::milliseconds timeout) -> std::unique_ptr<ByteStream> {
        return WinSockStream::Connect(host, port, timeout);
      },
      url, body, proxy, limits);
}

}  // namespace qelt
