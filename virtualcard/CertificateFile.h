// The card's certificate files: which one a certificate type names, and the
// Base64 text of a PEM file.
#pragma once
#include <cstdint>
#include <string>

#include "Profile.h"

namespace qelt::card {

// The profile key of the certificate file for a certificate type: type 1 and
// type 0 (unknown, the card's default) give the signing certificate, type 2
// the encryption certificate; other types give nothing.
const wchar_t* CertificateKey(std::int16_t certType);

// The Base64 body of a PEM certificate file (or of a bare Base64 file) as one
// line; false when the file cannot be read or holds no Base64 text.
bool ReadCertificateBase64(const std::wstring& path, std::wstring& base64);

}  // namespace qelt::card
