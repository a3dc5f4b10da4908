// Fuzz entry for the reply reader: the input is what a server sends, cut
// into pieces at every 0x00 0xFF pair; and its first line is tried as a URL.
#include <cstdint>
#include <string>
#include <vector>

#include "Exception.h"
#include "HttpExchange.h"
#include "AsciiText.h"
#include "HttpUrl.h"

namespace {

// A peer that sends the pieces one by one, then closes.
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> pieces(1);
  for (size_t i = 0; i < input.size(); ++i) {
    if (input[i] == '\0' && i + 1 < input.size() && input[i + 1] == '\xFF') {
      pieces.emplace_back();
      ++i;
    } else {
      pieces.back() += input[i];
    }
  }
  qelt::HttpLimits limits;
  limits.maxBodyBytes = 4096;
  limits.maxHeadBytes = 4096;
  PiecesStream stream(pieces);
  try {
    qelt::ReceiveReply(stream, limits);
  } catch (const qelt::Exception&) {
  }
  try {
    const qelt::HttpUrl url = qelt::SplitHttpUrl(input.substr(0, input.find('\n')));
    if (qelt::HasControlCharacter(url.host + url.port + url.target)) __builtin_trap();
    (void)url.HostValue();
  } catch (const qelt::Exception&) {
  }
  return 0;
}
