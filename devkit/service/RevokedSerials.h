// The serial numbers the local validation service answers as revoked.
#pragma once
#include <set>
#include <string>

namespace qelt::devkit {

// Lower-case hex without leading zeros; blanks, colons and a "0x" prefix
// dropped, so "00:1A", "0x1a" and "1A" are one serial.
std::string NormaliseSerial(const std::string& text);

class RevokedSerials {
 public:
  void Add(const std::string& serial) { serials_.insert(NormaliseSerial(serial)); }
  // One serial a line; "#" starts a comment. Throws qelt::Exception when the
  // file cannot be read.
  void AddFile(const std::string& path);
  bool Contains(const std::string& serial) const { return serials_.count(NormaliseSerial(serial)) != 0; }
  size_t Size() const { return serials_.size(); }

 private:
  std::set<std::string> serials_;
};

}  // namespace qelt::devkit
