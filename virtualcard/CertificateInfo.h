// The certificate information text the toolkit gives for a certificate.
#pragma once
#include <string>

namespace qelt::card {

enum class InfoResult { Ok, NotBase64, NotCertificate };

// What the card adds to a certificate's own contents.
struct CardDetails {
  std::wstring idno;          // identity number of the holder
  std::wstring serialNumber;  // the card's serial
};

// Builds the "CertBaseInfo" document (no XML declaration) for a Base64
// certificate, with or without PEM header lines.
InfoResult DescribeCertificate(const std::wstring& base64, const CardDetails& card, std::wstring& xml);

// Text made safe for an XML element: markup characters escaped, characters
// XML cannot carry replaced by '?'.
std::wstring XmlText(const std::wstring& value);

}  // namespace qelt::card
