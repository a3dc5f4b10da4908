#include "XkmsRequest.h"

namespace qelt {
namespace {

constexpr char kXkmsNamespace[] = "http://www.xkms.org/schema/xkms-2001-01-20";
constexpr char kSignatureNamespace[] = "http://www.w3.org/2000/09/xmldsig#";

}  // namespace

std::string BuildValidateRequest(const std::string& base64Certificate) {
  std::string request;
  request.reserve(kValidateRequestFixedSize + base64Certificate.size());
  request += "<?xml version=\"1.0\" encoding=\"BIG5\"?><Validate xmlns=\"";
  request += kXkmsNamespace;
  request += "\" xmlns:ds=\"";
  request += kSignatureNamespace;
  request += "\"><Query><Status>Valid</Status><ds:KeyInfo><ds:X509Data><ds:X509Certificate>";
  request += base64Certificate;
  request += "</ds:X509Certificate></ds:X509Data></ds:KeyInfo></Query></Validate>";
  return request;
}

}  // namespace qelt
