// The platform's own HTTP client, as the yardstick for HttpPost.
#pragma once
#include <cstdint>
#include <string>

namespace qelt::bench {

struct WinHttpReply {
  unsigned long status = 0;
  std::string body;
};

// Posts body to http://host:port/path in a new WinHTTP session, so each call
// opens its own connection as HttpPost does. No proxy. Throws qelt::Exception
// naming the call and its error code.
WinHttpReply WinHttpPost(const std::wstring& host, uint16_t port, const std::wstring& path,
                         const std::string& body);

}  // namespace qelt::bench
