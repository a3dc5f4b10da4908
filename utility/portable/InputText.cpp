#include "InputText.h"

namespace qelt {

std::string NormaliseInputText(std::string_view bytes) {
  bytes = bytes.substr(0, bytes.find('\0'));
  std::string text;
  text.reserve(bytes.size() + bytes.size() / 16 + 2);
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = bytes.size();
    text.append(bytes.data() + start, end - start);
    text.append("\r\n");
    if (end < bytes.size() && bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n') ++end;
    start = end + 1;
  }
  return text;
}

}  // namespace qelt
