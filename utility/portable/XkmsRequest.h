// The XKMS "Validate" request that carries a certificate to the validation service.
#pragma once
#include <string>

namespace qelt {

// The one-line request with the Base64 text in its X509Certificate element.
std::string BuildValidateRequest(const std::string& base64Certificate);

// Bytes of the request around the certificate.
constexpr size_t kValidateRequestFixedSize = 285;

}  // namespace qelt
