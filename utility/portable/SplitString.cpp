#include "SplitString.h"

namespace qelt {

std::vector<std::string> SplitString(const std::string& text, const std::string& delimiter,
                                     LeadByteTest isLeadByte) {
  std::vector<std::string> pieces;
  std::string current;
  for (size_t i = 0; i < text.size(); ++i) {
    const char byte = text[i];
    if (delimiter.size() == 1 && byte == delimiter[0]) {
      pieces.push_back(std::move(current));
      current.clear();
    } else if (isLeadByte(static_cast<unsigned char>(byte)) && i + 1 < text.size()) {
      current.append(text, i, 2);
      ++i;
    } else {
      current.push_back(byte);
    }
  }
  pieces.push_back(std::move(current));
  return pieces;
}

}  // namespace qelt
