// The card toolkit's dispatch identifiers: fixed by the toolkit control,
// which is called by these numbers and never by name.
#pragma once
#include <windows.h>
#include <oaidl.h>

namespace qelt::toolkit {

enum : DISPID {
  kVerifyPin = 6,
  kDecryptData = 7,
  kEncryptData = 8,
  kGetCertificateInfo = 9,
  kSignData = 10,
  kVerifySignedData = 11,
  kGetCertificate = 12,
};

}  // namespace qelt::toolkit
