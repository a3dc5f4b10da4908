#include "ValidationJudge.h"

#include <wincrypt.h>

#include <memory>

#include "Exception.h"

namespace qelt::devkit {
namespace {

struct CertificateFree {
  void operator()(PCCERT_CONTEXT certificate) const { CertFreeCertificateContext(certificate); }
};
using Certificate = std::unique_ptr<const CERT_CONTEXT, CertificateFree>;

std::string ElementText(const std::string& xml, const std::string& name) {
  const std::string open = "<" + name + ">", close = "</" + name + ">";
  const size_t start = xml.find(open);
  if (start == std::string::npos) throw Exception("no " + name + " element");
  const size_t end = xml.find(close, start + open.size());
  if (end == std::string::npos) throw Exception("unclosed " + name + " element");
  return xml.substr(start + open.size(), end - start - open.size());
}

// Base64 (any line breaks, PEM header lines allowed) to bytes.
std::string DecodeBase64(const std::string& text, const char* what) {
  DWORD size = 0;
  const DWORD kinds[] = {CRYPT_STRING_BASE64HEADER, CRYPT_STRING_BASE64};
  for (DWORD kind : kinds) {
    if (!CryptStringToBinaryA(text.data(), static_cast<DWORD>(text.size()), kind, nullptr, &size, nullptr, nullptr))
      continue;
    std::string bytes(size, '\0');
    if (CryptStringToBinaryA(text.data(), static_cast<DWORD>(text.size()), kind,
                             reinterpret_cast<BYTE*>(&bytes[0]), &size, nullptr, nullptr)) {
      bytes.resize(size);
      return bytes;
    }
  }
  throw Exception(std::string(what) + " is not Base64");
}

Certificate CertificateOf(const std::string& request) {
  const std::string text = DecodeBase64(ElementText(request, "ds:X509Certificate"), "ds:X509Certificate");
  const std::string der = DecodeBase64(text, "the certificate text");
  PCCERT_CONTEXT certificate = CertCreateCertificateContext(
      X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()), static_cast<DWORD>(der.size()));
  if (!certificate) throw Exception("not a certificate");
  return Certificate(certificate);
}

// The platform keeps the serial's bytes least significant first.
std::string SerialHex(const CERT_INFO& info) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (DWORD i = info.SerialNumber.cbData; i-- > 0;) {
    hex += kDigits[info.SerialNumber.pbData[i] >> 4];
    hex += kDigits[info.SerialNumber.pbData[i] & 15];
  }
  return NormaliseSerial(hex);
}

}  // namespace

Judgement JudgeValidateRequest(const std::string& request, const RevokedSerials& revoked, const FILETIME& now) {
  Judgement judgement;
  Certificate certificate;
  try {
    certificate = CertificateOf(request);
  } catch (const Exception& e) {
    judgement.status = 400;
    judgement.verdict = e.Message();
    judgement.body = "<Error>" + e.Message() + "</Error>";
    return judgement;
  }
  const CERT_INFO& info = *certificate->pCertInfo;
  const std::string serial = SerialHex(info);
  if (revoked.Contains(serial)) judgement.verdict = "Revoked";
  else if (CompareFileTime(&now, &info.NotAfter) > 0) judgement.verdict = "Expired";
  else if (CompareFileTime(&now, &info.NotBefore) < 0) judgement.verdict = "NotYetValid";
  else judgement.verdict = "Valid";

  const std::string result =
      judgement.verdict == "Valid"
          ? "<ResultMajor>Success</ResultMajor><ResultMinor>NoMatch</ResultMinor><Status>Valid</Status>"
          : "<ResultMajor>Success</ResultMajor><Status>Invalid</Status><Reason>" + judgement.verdict + "</Reason>";
  judgement.body = "<?xml version=\"1.0\" encoding=\"utf-8\"?><ValidateResult><SerialNumber>" + serial +
                   "</SerialNumber>" + result + "</ValidateResult>";
  return judgement;
}

}  // namespace qelt::devkit
