// The exact bytes of the request line and headers of a POST.
#pragma once
#include <cstddef>
#include <string>

#include "HttpSettings.h"
#include "HttpUrl.h"

namespace qelt {

// Request line, headers and the empty line that ends them, ready for one
// write. Through a proxy (proxy.server not empty) the target is written in
// absolute form and the proxy headers replace Connection.
std::string BuildRequestHead(const HttpUrl& url, size_t bodyLength,
                             const HttpProxySettings& proxy);

}  // namespace qelt
