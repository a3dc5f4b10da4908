// Buffered reading of lines and byte counts from a ByteStream, so the reply
// is taken in large reads rather than byte by byte.
#pragma once
#include <chrono>
#include <cstdint>
#include <string>

#include "ByteStream.h"

namespace qelt {

class BufferedReader {
 public:
  // Longest reply line accepted, counted before its LF (a CR included).
  static constexpr size_t kMaxLineLength = 16384;

  explicit BufferedReader(ByteStream& stream) : stream_(stream) {}

  // One line without its LF and without a CR just before it. False when the
  // peer closed before an LF (a partial line is dropped). Throws
  // "Max line length exceeded." once more than kMaxLineLength bytes precede
  // the LF.
  bool ReadLine(std::string& line, std::chrono::milliseconds timeout);

  // Appends up to count bytes to out; false when the peer closed first.
  bool ReadBytes(uint64_t count, std::string& out, std::chrono::milliseconds timeout);

  // Appends everything up to the peer's close to out; false, without
  // reading on, as soon as more than maxBytes have arrived.
  bool ReadToClose(std::string& out, size_t maxBytes, std::chrono::milliseconds timeout);

 private:
  size_t Buffered() const { return buffer_.size() - start_; }
  bool Fill(std::chrono::milliseconds timeout);  // false once the peer has closed
  void Consume(size_t count, std::string* out);

  ByteStream& stream_;
  std::string buffer_;
  size_t start_ = 0;
  bool closed_ = false;
};

}  // namespace qelt
