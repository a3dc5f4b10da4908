// A connected byte stream: the seam between HTTP framing and sockets.
#pragma once
#include <chrono>
#include <cstddef>

namespace qelt {

class ByteStream {
 public:
  virtual ~ByteStream() = default;
  // Waits at most timeout for data and returns how many bytes were stored
  // (at most capacity); 0 means the peer has closed. Throws
  // qelt::Exception("Read Timeout") when nothing arrives in time.
  virtual size_t Read(char* buffer, size_t capacity, std::chrono::milliseconds timeout) = 0;
  // Sends all bytes, waiting at most timeout each time the peer stops
  // taking them; throws on failure.
  virtual void Write(const char* data, size_t size, std::chrono::milliseconds timeout) = 0;
};

}  // namespace qelt
