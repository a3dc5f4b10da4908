#include "CertificateInfo.h"

#include <windows.h>
#include <wincrypt.h>

#include <cwchar>
#include <memory>
#include <vector>

namespace qelt::card {
namespace {

struct CertFree {
  void operator()(PCCERT_CONTEXT cert) const { CertFreeCertificateContext(cert); }
};
using UniqueCert = std::unique_ptr<const CERT_CONTEXT, CertFree>;

bool DecodeBase64(const std::wstring& text, std::vector<BYTE>& der) {
  if (text.empty()) return false;
  DWORD size = 0;
  const DWORD length = static_cast<DWORD>(text.size());
  if (!CryptStringToBinaryW(text.c_str(), length, CRYPT_STRING_BASE64_ANY, nullptr, &size, nullptr, nullptr) ||
      size == 0)
    return false;
  der.resize(size);
  if (!CryptStringToBinaryW(text.c_str(), length, CRYPT_STRING_BASE64_ANY, der.data(), &size, nullptr, nullptr))
    return false;
  der.resize(size);
  return true;
}

std::wstring NameText(const CERT_NAME_BLOB& name) {
  CERT_NAME_BLOB blob = name;  // the API takes a non-const pointer but only reads
  const DWORD n = CertNameToStrW(X509_ASN_ENCODING, &blob, CERT_X500_NAME_STR, nullptr, 0);
  if (n <= 1) return {};
  std::wstring text(n, L'\0');
  CertNameToStrW(X509_ASN_ENCODING, &blob, CERT_X500_NAME_STR, &text[0], n);
  text.resize(n - 1);
  return text;
}

std::wstring NameString(PCCERT_CONTEXT cert, DWORD type, void* param) {
  const DWORD n = CertGetNameStringW(cert, type, 0, param, nullptr, 0);
  if (n <= 1) return {};
  std::wstring text(n, L'\0');
  CertGetNameStringW(cert, type, 0, param, &text[0], n);
  text.resize(n - 1);
  return text;
}

// The key usage bits by their RFC 5280 names, in bit order.
std::wstring KeyUsage(PCCERT_CONTEXT cert) {
  BYTE bits[2] = {};
  if (!CertGetIntendedKeyUsage(X509_ASN_ENCODING, cert->pCertInfo, bits, sizeof bits)) return {};
  static const struct { int byte; BYTE mask; const wchar_t* name; } kUsages[] = {
      {0, CERT_DIGITAL_SIGNATURE_KEY_USAGE, L"digitalSignature"},
      {0, CERT_NON_REPUDIATION_KEY_USAGE, L"nonRepudiation"},
      {0, CERT_KEY_ENCIPHERMENT_KEY_USAGE, L"keyEncipherment"},
      {0, CERT_DATA_ENCIPHERMENT_KEY_USAGE, L"dataEncipherment"},
      {0, CERT_KEY_AGREEMENT_KEY_USAGE, L"keyAgreement"},
      {0, CERT_KEY_CERT_SIGN_KEY_USAGE, L"keyCertSign"},
      {0, CERT_CRL_SIGN_KEY_USAGE, L"cRLSign"},
      {0, CERT_ENCIPHER_ONLY_KEY_USAGE, L"encipherOnly"},
      {1, CERT_DECIPHER_ONLY_KEY_USAGE, L"decipherOnly"},
  };
  std::wstring text;
  for (const auto& usage : kUsages) {
    if (!(bits[usage.byte] & usage.mask)) continue;
    if (!text.empty()) text += L", ";
    text += usage.name;
  }
  return text;
}

// YYYYMMDD HH:MM:SS in UTC, the time the certificate itself states.
std::wstring TimeText(const FILETIME& time) {
  SYSTEMTIME st{};
  if (!FileTimeToSystemTime(&time, &st)) return {};
  wchar_t text[32];
  swprintf(text, 32, L"%04u%02u%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
           st.wSecond);
  return text;
}

// Upper-case hex, most significant byte first, without the DER sign byte.
std::wstring SerialText(const CRYPT_INTEGER_BLOB& serial) {
  static const wchar_t kHex[] = L"0123456789ABCDEF";
  DWORD top = serial.cbData;
  while (top > 1 && serial.pbData[top - 1] == 0) --top;  // little-endian: zeros at the end lead
  std::wstring text;
  for (DWORD i = top; i-- > 0;) {
    text.push_back(kHex[serial.pbData[i] >> 4]);
    text.push_back(kHex[serial.pbData[i] & 0x0F]);
  }
  return text;
}

void Element(std::wstring& xml, const wchar_t* name, const std::wstring& value) {
  xml += L"<";
  xml += name;
  xml += L">";
  xml += XmlText(value);
  xml += L"</";
  xml += name;
  xml += L">";
}

}  // namespace

std::wstring XmlText(const std::wstring& value) {
  std::wstring out;
  out.reserve(value.size());
  for (const wchar_t c : value) {
    switch (c) {
      case L'&': out += L"&amp;"; break;
      case L'<': out += L"&lt;"; break;
      case L'>': out += L"&gt;"; break;
      default:
        if ((c < 0x20 && c != L'\t' && c != L'\n' && c != L'\r') || c == 0xFFFE || c == 0xFFFF) out += L'?';
        else out += c;
    }
  }
  return out;
}

InfoResult DescribeCertificate(const std::wstring& base64, const CardDetails& card, std::wstring& xml) {
  std::vector<BYTE> der;
  if (!DecodeBase64(base64, der)) return InfoResult::NotBase64;
  const UniqueCert cert(CertCreateCertificateContext(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, der.data(),
                                                     static_cast<DWORD>(der.size())));
  if (!cert) return InfoResult::NotCertificate;
  const CERT_INFO& info = *cert->pCertInfo;

  std::wstring out = L"<CertBaseInfo>";
  Element(out, L"IssuerName", NameText(info.Issuer));
  Element(out, L"Subjectname", NameText(info.Subject));
  Element(out, L"Name", NameString(cert.get(), CERT_NAME_ATTR_TYPE, const_cast<char*>(szOID_COMMON_NAME)));
  Element(out, L"Idno", card.idno);
  Element(out, L"Usage", KeyUsage(cert.get()));
  Element(out, L"Email", NameString(cert.get(), CERT_NAME_EMAIL_TYPE, nullptr));
  Element(out, L"notBefore", TimeText(info.NotBefore));
  Element(out, L"notAfter", TimeText(info.NotAfter));
  Element(out, L"CertSerialNnumber", SerialText(info.SerialNumber));
  Element(out, L"SerialNumber", card.serialNumber);
  out += L"</CertBaseInfo>";
  xml = std::move(out);
  return InfoResult::Ok;
}

}  // namespace qelt::card
