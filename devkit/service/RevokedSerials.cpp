#include "RevokedSerials.h"

#include <cctype>
#include <fstream>

#include "Exception.h"

namespace qelt::devkit {

std::string NormaliseSerial(const std::string& text) {
  std::string hex;
  for (char c : text) {
    if (std::isxdigit(static_cast<unsigned char>(c)) || c == 'x' || c == 'X')
      hex += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  if (hex.rfind("0x", 0) == 0) hex.erase(0, 2);
  const size_t first = hex.find_first_not_of('0');
  return first == std::string::npos ? "0" : hex.substr(first);
}

void RevokedSerials::AddFile(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw Exception("Cannot read the revocation list " + path);
  std::string line;
  while (std::getline(in, line)) {
    line = line.substr(0, line.find('#'));
    if (line.find_first_not_of(" \t\r") != std::string::npos) Add(line);
  }
}

}  // namespace qelt::devkit
