// The card's certificates and their information.
#include "CardOperations.h"
#include "CertificateFile.h"
#include "CertificateInfo.h"

namespace qelt::card {

// certType in, certificate (Base64, one line) and card number out.
std::int32_t GetCertificate(Profile& card, const CallArgs& args) {
  if (!card.present) return 8001;  // no connection to the card
  const wchar_t* key = CertificateKey(args.Short(0));
  std::wstring base64;
  // A type the card does not hold, or a certificate it cannot read.
  if (!key || !ReadCertificateBase64(card.Path(key), base64)) return 8003;
  args.SetText(1, base64);
  args.SetText(2, card.cardNumber);
  return 0;
}

// Certificate in, information XML out; works on the text given, so the card
// need not be present.
std::int32_t GetCertificateInfo(Profile& card, const CallArgs& args) {
  std::wstring xml;
  switch (DescribeCertificate(args.Text(0), CardDetails{card.Value(L"idno"), card.Value(L"serialNumber")}, xml)) {
    case InfoResult::NotBase64: return 8101;
    case InfoResult::NotCertificate: return 8103;
    case InfoResult::Ok: break;
  }
  args.SetText(1, xml);
  return 0;
}

}  // namespace qelt::card
