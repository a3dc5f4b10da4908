// Fuzz entry for the reply reader at its real limits (1 MiB of head, 16 MiB
// of body), run with a short time limit for each input so that work growing
// faster than the reply shows up as a time-out. The input is what a server
// sends: 0x00 0xFF ends a piece (what one read gives); 0x00 0xFE and three
// bytes N (big-endian) repeat the bytes since the previous marker N more
// times, so that small inputs grow into the large replies where slow work
// shows. A reply stops growing a little past the 1 MiB head bound.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "Exception.h"
#include "HttpExchange.h"
#include "PiecesStream.h"

namespace {

constexpr size_t kMaxReply = 1024 * 1024 + 65536;

// The unit n times, built by doubling rather than n appends.
std::string Repeat(const std::string& unit, size_t n) {
  std::string out;
  if (n == 0 || unit.empty()) return out;
  const size_t size = n * unit.size();
  out.reserve(size);
  out = unit;
  while (out.size() * 2 <= size) out.append(out.data(), out.size());
  out.append(out.data(), size - out.size());
  return out;
}

std::vector<std::string> Expand(const uint8_t* data, size_t size) {
  std::vector<std::string> pieces(1);
  size_t total = 0;
  size_t segment = 0;  // where the bytes since the previous marker begin in the last piece
  for (size_t i = 0; i < size && total < kMaxReply; ++i) {
    if (data[i] == 0 && i + 1 < size && data[i + 1] == 0xFF) {
      pieces.emplace_back();
      segment = 0;
      ++i;
    } else if (data[i] == 0 && i + 4 < size && data[i + 1] == 0xFE) {
      std::string& piece = pieces.back();
      const std::string unit = piece.substr(segment);
      const size_t count = (size_t{data[i + 2]} << 16) | (size_t{data[i + 3]} << 8) | data[i + 4];
      const size_t fits = unit.empty() ? 0 : (kMaxReply - total) / unit.size();
      const std::string more = Repeat(unit, std::min(count, fits));
      piece += more;
      total += more.size();
      segment = piece.size();
      i += 4;
    } else {
      pieces.back() += static_cast<char>(data[i]);
      ++total;
    }
  }
  return pieces;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qelt::fuzz::PiecesStream stream(Expand(data, size));
  try {
    qelt::ReceiveReply(stream, qelt::HttpLimits());
  } catch (const qelt::Exception&) {
  }
  return 0;
}
