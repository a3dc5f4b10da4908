#include "Framing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Protocol.h"

namespace qelt::bridge {
namespace {

// Hands out its bytes in pieces whose sizes repeat a pattern, as a pipe
// does; 0 once everything is out.
class PieceSource : public ByteSource {
 public:
  PieceSource(std::string bytes, std::vector<std::size_t> pieces) : bytes_(std::move(bytes)), pieces_(std::move(pieces)) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    const std::size_t n = std::min({size, pieces_[turn_++ % pieces_.size()], bytes_.size() - offset_});
    bytes_.copy(buffer, n, offset_);
    offset_ += n;
    return n;
  }
  std::size_t consumed() const { return offset_; }

 private:
  std::string bytes_;
  std::vector<std::size_t> pieces_;
  std::size_t turn_ = 0, offset_ = 0;
};

std::string Header(std::uint32_t length) {
  std::string header;
  for (int shift = 0; shift < 32; shift += 8) header.push_back(static_cast<char>(length >> shift & 0xFF));
  return header;
}

TEST(Framing, EncodesTheLengthAsFourRawLittleEndianBytes) {
  // 10, 13 and 26 are what text-mode I/O turns into CR LF, drops, or reads as the end.
  const std::pair<std::size_t, std::string> cases[] = {
      {0, std::string("\0\0\0\0", 4)},       {10, std::string("\x0A\0\0\0", 4)},
      {13, std::string("\x0D\0\0\0", 4)},    {26, std::string("\x1A\0\0\0", 4)},
      {0x0A0D, std::string("\x0D\x0A\0\0", 4)}, {kMaxFrameLength, std::string("\0\0\x10\0", 4)},
  };
  for (const auto& [length, header] : cases) {
    SCOPED_TRACE(length);
    const std::string message(length, 'm');
    EXPECT_EQ(EncodeFrame(message), header + message);
  }
}

TEST(Framing, ReadsBackWhatItEncodedWhateverThePieces) {
  const std::vector<std::string> messages = {
      "{\"type\":\"hello\"}", "", std::string(10, '\n'), std::string(13, '\r'), std::string(26, '\x1A'),
      std::string(0x0A0D, 'x'), std::string(kMaxFrameLength, '\0'), "{}"};
  std::string stream;
  for (const auto& message : messages) stream += EncodeFrame(message);
  const std::vector<std::vector<std::size_t>> patterns = {{1}, {1, 2, 3, 5, 7}, {3}, {4096}, {stream.size()}};
  for (const auto& pattern : patterns) {
    SCOPED_TRACE(::testing::PrintToString(pattern));
    PieceSource source(stream, pattern);
    FrameReader reader(source);
    for (const auto& message : messages) {
      const Frame frame = reader.Next();
      ASSERT_EQ(frame.kind, Frame::Kind::kMessage) << frame.reason;
      EXPECT_TRUE(frame.payload == message) << "a frame of " << message.size() << " bytes came back as " << frame.payload.size();
    }
    EXPECT_EQ(reader.Next().kind, Frame::Kind::kEnd);
  }
}

struct FramesCase {
  const char* name;
  std::string input;
  std::vector<std::string> payloads;  // the messages before the last frame
  Frame::Kind last;
};

TEST(Framing, EndsCleanlyOnlyBetweenFrames) {
  const std::string hello = EncodeFrame("{}");
  const FramesCase cases[] = {
      {"no input", "", {}, Frame::Kind::kEnd},
      {"after a frame", hello, {"{}"}, Frame::Kind::kEnd},
      {"a zero-length frame", Header(0), {""}, Frame::Kind::kEnd},
      {"1 of 4 length bytes", "\x02", {}, Frame::Kind::kBroken},
      {"2 of 4 length bytes", hello + std::string("\x02\0", 2), {"{}"}, Frame::Kind::kBroken},
      {"3 of 4 length bytes", std::string("\x02\0\0", 3), {}, Frame::Kind::kBroken},
      {"none of the payload", Header(5), {}, Frame::Kind::kBroken},
      {"part of the payload", hello + Header(5) + "abcd", {"{}"}, Frame::Kind::kBroken},
      {"exactly 1 MiB", Header(kMaxFrameLength) + std::string(kMaxFrameLength, 'x'),
       {std::string(kMaxFrameLength, 'x')}, Frame::Kind::kEnd},
  };
  for (const FramesCase& c : cases) {
    SCOPED_TRACE(c.name);
    PieceSource source(c.input, {3});
    FrameReader reader(source);
    for (const auto& payload : c.payloads) {
      const Frame frame = reader.Next();
      ASSERT_EQ(frame.kind, Frame::Kind::kMessage) << frame.reason;
      EXPECT_TRUE(frame.payload == payload);
    }
    const Frame frame = reader.Next();
    EXPECT_EQ(frame.kind, c.last);
    EXPECT_EQ(frame.reason.empty(), c.last == Frame::Kind::kEnd) << frame.reason;
    EXPECT_TRUE(frame.payload.empty());
  }
}

TEST(Framing, RefusesAnOverlongFrameFromItsLengthAlone) {
  // Refused before its payload is waited for: the peer may never send it.
  for (const std::uint32_t length : {std::uint32_t{kMaxFrameLength + 1}, std::uint32_t{0x80000000}, std::uint32_t{0xFFFFFFFF}}) {
    SCOPED_TRACE(length);
    PieceSource source(Header(length) + std::string(kMaxFrameLength + 1, 'x'), {4096});
    FrameReader reader(source);
    const Frame frame = reader.Next();
    EXPECT_EQ(frame.kind, Frame::Kind::kBroken);
    EXPECT_NE(frame.reason.find(std::to_string(length)), std::string::npos) << frame.reason;
    EXPECT_EQ(source.consumed(), 4u);
  }
}

}  // namespace
}  // namespace qelt::bridge
