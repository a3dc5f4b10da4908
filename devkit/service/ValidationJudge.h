// The local validation service's answer to an XKMS Validate request: the
// certificate is valid when now lies within its validity period and its
// serial number is not revoked.
#pragma once
#include <windows.h>

#include <string>

#include "RevokedSerials.h"

namespace qelt::devkit {

struct Judgement {
  int status = 200;     // 400 when the request carries no readable certificate
  std::string verdict;  // "Valid", "Revoked", "Expired", "NotYetValid" or the fault
  std::string body;     // the reply body
};

// The request's ds:X509Certificate holds Base64 of the certificate's own
// Base64 text (PEM lines allowed), so it is decoded twice to DER. A valid
// certificate's reply carries "NoMatch", an invalid one's does not.
Judgement JudgeValidateRequest(const std::string& request, const RevokedSerials& revoked,
                               const FILETIME& now);

}  // namespace qelt::devkit
