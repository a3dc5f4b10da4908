// What the caller chooses for one HTTP exchange: the proxy and the wait bounds.
#pragma once
#include <chrono>
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
  std::chrono::milliseconds exchangeTimeout{120000};
  std::chrono::milliseconds connectTimeout{30000};
  // Longest wait for the peer on the socket, either way: for it to take the
  // next piece of the request, and for the next byte of the status line, the
  // headers and the body of a success reply.
  std::chrono::milliseconds ioTimeout{60000};
  // Longest wait for the next piece of the body of a failed reply.
  std::chrono::milliseconds failedBodyTimeout{2000};

  // Largest reply body taken, whatever its framing, so a peer that keeps
  // sending cannot grow the host's memory without end.
  static constexpr size_t kDefaultMaxBodyBytes = 16 * 1024 * 1024;
  size_t maxBodyBytes = kDefaultMaxBodyBytes;
  // Largest header block taken, interim 100 replies included.
  static constexpr size_t kDefaultMaxHeadBytes = 1024 * 1024;
  size_t maxHeadBytes = kDefaultMaxHeadBytes;
};

}  // namespace qelt
