// What the caller chooses for one HTTP exchange: the proxy and the wait bounds.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace qelt {

struct HttpProxySettings {
  std::string server;  // the proxy is used exactly when this is not empty
  int32_t port = 0;    // used as given; 0 is not replaced by a default
  std::string userName;  // credentials are sent when this is not empty
  std::string password;
};

// Every wait is bounded so a stalling peer cannot hold the caller for ever,
// and so is the whole exchange, so a trickling one cannot either.
struct HttpLimits {
  // Longest the exchange may take, from the start of connecting to the end of
  // the reply: every wait below gets at most what is left of it.
  int exchangeTimeoutMs = 120000;
  int connectTimeoutMs = 30000;
  // Longest wait for the next byte of the status line, the headers, the body
  // of a success reply, and for the peer to take the request.
  int readTimeoutMs = 60000;
  // Longest wait for the next piece of the body of a failed reply.
  int failedBodyTimeoutMs = 2000;

  // Largest reply body taken, whatever its framing, so a peer that keeps
  // sending cannot grow the host's memory without end.
  static constexpr size_t kDefaultMaxBodyBytes = 16 * 1024 * 1024;
  size_t maxBodyBytes = kDefaultMaxBodyBytes;
  // Largest header block taken, interim 100 replies included.
  static constexpr size_t kDefaultMaxHeadBytes = 1024 * 1024;
  size_t maxHeadBytes = kDefaultMaxHeadBytes;
};

constexpr size_t kDefaultMaxHeadBytes = HttpLimits::kDefaultMaxHeadBytes;

}  // namespace qelt
