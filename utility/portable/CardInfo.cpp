#include "CardInfo.h"

#include <cstddef>

#include "CodePage.h"
#include "Exception.h"
#include "Text.h"

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

// Optional sign, then one or more decimal digits, nothing else.
bool ParseInteger(const std::string& s, long& value) {
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  if (i == s.size()) return false;
  long v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
  }
  value = negative ? -v : v;
  return true;
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

std::string ToRocDate(const std::string& text) {
  const std::string yearText = text.substr(0, 4);
  long year = 0;
  if (!ParseInteger(yearText, year)) throw Exception("'" + yearText + "' is not a valid integer value");
  const long roc = year - 1911;
  // The sign goes before the padding, so year 1910 reads -01 and not 0-1.
  const std::string yearPart =
      roc < 0 ? "-" + PadLeft(std::to_string(-roc), 2, "0") : PadLeft(std::to_string(roc), 3, "0");
  return yearPart + (text.size() > 4 ? text.substr(4, 4) : std::string());
}

std::string PadLeft(const std::string& text, int width, const std::string& pad) {
  if (pad.empty()) return text;
  std::string out;
  for (long long n = static_cast<long long>(width) - static_cast<long long>(text.size()); n > 0; --n) out += pad;
  return out + text;
}

}  // namespace qelt
