// Native messaging frames: a 4-byte little-endian length, then the message.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace qelt::bridge {

// Where frames come from: the host's standard input, or bytes in a test.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to size bytes; 0 only at the end of input.
  virtual std::size_t Read(char* buffer, std::size_t size) = 0;
};

struct Frame {
  enum class Kind {
    kMessage,  // payload holds one message
    kEnd,      // input ended between frames
    kBroken,   // input that cannot go on; reason says why
  };
  Kind kind = Kind::kEnd;
  std::string payload;
  std::string reason;
};

class FrameReader {
 public:
  explicit FrameReader(ByteSource& source) : source_(source) {}
  // The next frame. After kEnd or kBroken the reader is done.
  Frame Next();

 private:
  std::size_t ReadFully(char* buffer, std::size_t size);
  ByteSource& source_;
};

// The frame that carries the message.
std::string EncodeFrame(std::string_view message);

}  // namespace qelt::bridge
