#include "Framing.h"

#include <cstdint>

#include "Protocol.h"

namespace qelt::bridge {

std::size_t FrameReader::ReadFully(char* buffer, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const std::size_t got = source_.Read(buffer + done, size - done);
    if (got == 0) break;
    done += got;
  }
  return done;
}

Frame FrameReader::Next() {
  Frame frame;
  unsigned char header[4];
  const std::size_t got = ReadFully(reinterpret_cast<char*>(header), sizeof header);
  if (got == 0) return frame;  // kEnd
  frame.kind = Frame::Kind::kBroken;
  if (got < sizeof header) {
    frame.reason = "input ended inside a frame's length (" + std::to_string(got) + " of 4 bytes)";
    return frame;
  }
  const std::uint32_t length = std::uint32_t{header[0]} | std::uint32_t{header[1]} << 8 |
                               std::uint32_t{header[2]} << 16 | std::uint32_t{header[3]} << 24;
  if (length > kMaxFrameLength) {
    frame.reason = "frame length " + std::to_string(length) + " exceeds the limit of " +
                   std::to_string(kMaxFrameLength) + " bytes";
    return frame;
  }
  frame.payload.resize(length);
  const std::size_t read = ReadFully(frame.payload.data(), length);
  if (read < length) {
    frame.reason = "input ended inside a frame (" + std::to_string(read) + " of " +
                   std::to_string(length) + " bytes)";
    frame.payload.clear();
    return frame;
  }
  frame.kind = Frame::Kind::kMessage;
  return frame;
}

std::string EncodeFrame(std::string_view message) {
  const auto length = static_cast<std::uint32_t>(message.size());
  std::string frame;
  frame.reserve(4 + message.size());
  for (int shift = 0; shift < 32; shift += 8) frame.push_back(static_cast<char>((length >> shift) & 0xFF));
  frame.append(message);
  return frame;
}

}  // namespace qelt::bridge
