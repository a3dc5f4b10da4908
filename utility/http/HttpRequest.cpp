#include "HttpRequest.h"

#include "Base64.h"

namespace qelt {

namespace {

void AddHeader(std::string& head, const char* name, const std::string& value) {
  head += name;
  head += ": ";
  head += value;
  head += "\r\n";
}

}  // namespace

std::string BuildRequestHead(const HttpUrl& url, size_t bodyLength,
                             const HttpProxySettings& proxy) {
  const bool viaProxy = !proxy.server.empty();
  std::string head = "POST ";
  if (viaProxy) head += url.scheme + "://" + url.host + ":" + url.port;
  head += url.target;
  head += " HTTP/1.0\r\n";

  if (!viaProxy) AddHeader(head, "Connection", "keep-alive");
  AddHeader(head, "Content-Type", "text/html");
  AddHeader(head, "Content-Length", std::to_string(bodyLength));
  if (viaProxy) AddHeader(head, "Proxy-Connection", "keep-alive");
  AddHeader(head, "Host", url.HostValue());
  AddHeader(head, "Accept", "text/html, */*");
  AddHeader(head, "User-Agent", "Mozilla/3.0 (compatible; Indy Library)");
  if (viaProxy && !proxy.userName.empty()) {
    AddHeader(head, "Proxy-Authorization",
              "Basic " + EncodeBase64(proxy.userName + ":" + proxy.password));
  }
  head += "\r\n";
  return head;
}

}  // namespace qelt
