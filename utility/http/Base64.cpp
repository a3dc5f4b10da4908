#include "Base64.h"

namespace qelt {

std::string EncodeBase64(const std::string& bytes) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string padded = bytes;
  size_t padCount = 0;
  while (padded.size() % 3 != 0) {
    padded.push_back('\0');
    ++padCount;
  }
  std::string out;
  out.reserve(padded.size() / 3 * 4);
  for (size_t i = 0; i < padded.size(); i += 3) {
    const unsigned b0 = static_cast<unsigned char>(padded[i]);
    const unsigned b1 = static_cast<unsigned char>(padded[i + 1]);
    const unsigned b2 = static_cast<unsigned char>(padded[i + 2]);
    out.push_back(kAlphabet[b0 >> 2]);
    out.push_back(kAlphabet[((b0 & 3) << 4) | (b1 >> 4)]);
    out.push_back(kAlphabet[((b1 & 15) << 2) | (b2 >> 6)]);
    out.push_back(kAlphabet[b2 & 63]);
  }
  out.replace(out.size() - padCount, padCount, padCount, '=');
  return out;
}

}  // namespace qelt
