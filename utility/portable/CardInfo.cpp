#include "CardInfo.h"

#include <cstddef>

#include "CodePage.h"
#include "SystemText.h"

namespace qelt {
namespace {

// Finds needle in text at a character boundary only: a byte-wise match that
// starts on the trail byte of a double-byte character is not a match.
bool ContainsText(const std::string& text, const std::string& needle) {
  if (needle.empty()) return true;
  for (size_t i = 0; i + needle.size() <= text.size();) {
    if (text.compare(i, needle.size(), needle) == 0) return true;
    i += (cp::IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) ? 2 : 1;
  }
  return false;
}

}  // namespace

std::string TCardInfo::GetCardIssType() const {
  // The first authority that occurs wins: the first name also contains the third.
  static const char16_t* const kAuthorities[] = {
      u"內政部憑證管理中心", u"工商憑證管理中心", u"政府憑證管理中心", u"組織及團體憑證管理中心"};
  for (int i = 0; i < 4; ++i)
    if (ContainsText(issuerName_, Ansi(kAuthorities[i]))) return std::string(1, static_cast<char>('1' + i));
  return {};
}

std::string TCardInfo::AsText() const {
  const std::pair<const char*, const std::string*> lines[] = {
      {"issuerName : ", &issuerName_},   {"Subjectname : ", &subjectName_},
      {"Name : ", &name_},               {"Idno : ", &idno_},
      {"Usage : ", &usage_},             {"Email : ", &email_},
      {"notBefore : ", &notBefore_},     {"notAfter : ", &notAfter_},
      {"CertSerialNnumber : ", &certSerialNumber_}, {"SerialNumber : ", &serialNumber_},
  };
  std::string text;
  for (const auto& line : lines) {
    if (!text.empty()) text += "\r\n";
    text += line.first;
    text += *line.second;
  }
  return text;
}

}  // namespace qelt
