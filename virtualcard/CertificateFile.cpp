#include "CertificateFile.h"

#include <fstream>
#include <iterator>

namespace qelt::card {

const wchar_t* CertificateKey(std::int16_t certType) {
  switch (certType) {
    case 0:
    case 1: return L"signCert";
    case 2: return L"encryptCert";
    default: return nullptr;
  }
}

bool ReadCertificateBase64(const std::wstring& path, std::wstring& base64) {
  std::ifstream in(path.c_str(), std::ios::binary);
  if (!in) return false;
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

  static const std::string kBegin = "-----BEGIN CERTIFICATE-----", kEnd = "-----END CERTIFICATE-----";
  size_t from = 0, to = text.size();
  const size_t begin = text.find(kBegin);
  if (begin != std::string::npos) {
    from = begin + kBegin.size();
    const size_t end = text.find(kEnd, from);
    if (end == std::string::npos) return false;
    to = end;
  }
  std::wstring out;
  for (size_t i = from; i < to; ++i) {
    const char c = text[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    const bool valid = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '+' || c == '/' || c == '=';
    if (!valid) return false;
    out.push_back(static_cast<wchar_t>(c));
  }
  if (out.empty()) return false;
  base64 = std::move(out);
  return true;
}

}  // namespace qelt::card
