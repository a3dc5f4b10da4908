#include "CommandLineItems.h"

namespace qelt {
namespace {

bool IsSeparator(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 1 && byte <= 32;
}

// Reads one item from pos; pos ends after it. Double-byte characters need no
// care here: no code page uses a byte at or below '"' as a trail byte.
std::string NextItem(const std::string& line, size_t& pos) {
  const size_t n = line.size();
  for (;;) {
    while (pos < n && IsSeparator(line[pos])) ++pos;
    if (pos + 1 < n && line[pos] == '"' && line[pos + 1] == '"') pos += 2;
    else break;
  }
  std::string item;
  while (pos < n && line[pos] != '\0' && !IsSeparator(line[pos])) {
    if (line[pos] == '"') {
      ++pos;
      while (pos < n && line[pos] != '\0' && line[pos] != '"') item.push_back(line[pos++]);
      if (pos < n && line[pos] == '"') ++pos;
    } else {
      item.push_back(line[pos++]);
    }
  }
  return item;
}

}  // namespace

std::vector<std::string> CommandLineArguments(const std::string& commandLine) {
  // The line ends at its first NUL, as the platform hands it over.
  const std::string line = commandLine.substr(0, commandLine.find('\0'));
  std::vector<std::string> items;
  size_t pos = 0;
  NextItem(line, pos);  // the program name
  for (;;) {
    std::string item = NextItem(line, pos);
    if (item.empty()) break;
    items.push_back(std::move(item));
  }
  return items;
}

}  // namespace qelt
