// Walks DER-encoded data one element at a time, without copying.
#pragma once
#include <windows.h>

#include <cstring>

namespace qelt::card {

struct DerSpan {
  const BYTE* data = nullptr;
  size_t size = 0;
  bool operator==(const DerSpan& other) const {
    return size == other.size && (size == 0 || std::memcmp(data, other.data, size) == 0);
  }
};

class DerReader {
 public:
  explicit DerReader(DerSpan span) : rest_(span) {}
  bool AtEnd() const { return rest_.size == 0; }

  // Reads the next element if its tag is the one given; its content in out.
  bool Next(BYTE tag, DerSpan& out) {
    if (rest_.size < 2 || rest_.data[0] != tag) return false;
    size_t length = rest_.data[1], header = 2;
    if (length & 0x80) {
      const size_t count = length & 0x7F;
      if (count == 0 || count > 4 || rest_.size < 2 + count) return false;  // no indefinite lengths
      length = 0;
      for (size_t i = 0; i < count; ++i) length = (length << 8) | rest_.data[2 + i];
      header += count;
    }
    if (length > rest_.size - header) return false;
    out = {rest_.data + header, length};
    rest_ = {rest_.data + header + length, rest_.size - header - length};
    return true;
  }
  // Skips the next element, whatever it is.
  bool Skip() {
    if (rest_.size < 1) return false;
    DerSpan ignored;
    return Next(rest_.data[0], ignored);
  }

 private:
  DerSpan rest_;
};

namespace der {
constexpr BYTE kInteger = 0x02, kOctetString = 0x04, kOid = 0x06, kSequence = 0x30, kSet = 0x31,
               kContext0 = 0xA0;
}

}  // namespace qelt::card
