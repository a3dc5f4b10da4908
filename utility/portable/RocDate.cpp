#include "RocDate.h"

#include "Exception.h"

namespace qelt {
namespace {

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
