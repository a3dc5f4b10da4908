// Fuzz entry for the Base64 encoder: any bytes must encode to text that a
// plain decoder turns back into the same bytes.
#include <cstdint>
#include <string>

#include "Base64.h"

namespace {

std::string Decode(const std::string& text) {
  static const std::string alphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  unsigned bits = 0, count = 0;
  for (char c : text) {
    if (c == '=') break;
    const size_t v = alphabet.find(c);
    if (v == std::string::npos) __builtin_trap();
    bits = (bits << 6) | static_cast<unsigned>(v);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += static_cast<char>((bits >> count) & 0xFF);
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string text = qelt::EncodeBase64(bytes);
  if (text.size() != (size + 2) / 3 * 4) __builtin_trap();
  if (Decode(text) != bytes) __builtin_trap();
  return 0;
}
