// A peer that sends the pieces one by one, then closes: the stream both
// HTTP fuzz targets read replies from.
#pragma once
#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "ByteStream.h"

namespace qelt::fuzz {

class PiecesStream : public qelt::ByteStream {
 public:
  explicit PiecesStream(std::vector<std::string> pieces) : pieces_(std::move(pieces)) {}
  size_t Read(char* buffer, size_t capacity, std::chrono::milliseconds) override {
    while (next_ < pieces_.size() && offset_ == pieces_[next_].size()) { ++next_; offset_ = 0; }
    if (next_ == pieces_.size()) return 0;
    const std::string& piece = pieces_[next_];
    const size_t n = std::min(capacity, piece.size() - offset_);
    piece.copy(buffer, n, offset_);
    offset_ += n;
    return n;
  }
  void Write(const char*, size_t, std::chrono::milliseconds) override {}

 private:
  std::vector<std::string> pieces_;
  size_t next_ = 0, offset_ = 0;
};

}  // namespace qelt::fuzz
