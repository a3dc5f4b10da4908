// The ten values read with the platform's MSXML, the way a DOM user would:
// a new document, loadXML of the UTF-16 text, one selectSingleNode per value.
#pragma once
#include <string>
#include <vector>

namespace qelt::bench {

// The element names of the certificate information, in reading order.
const std::vector<std::wstring>& InformationElements();

class MsxmlReader {
 public:
  // version 3 or 6; throws std::runtime_error when the parser is missing.
  explicit MsxmlReader(int version);
  // One round: the values as ANSI text, like the navigator's caller keeps them.
  std::vector<std::string> Read(const std::wstring& xml) const;

 private:
  int version_;
};

}  // namespace qelt::bench
