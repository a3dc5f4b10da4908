// Fuzz entry for the reply reader: the input is what a server sends, cut
// into pieces at every 0x00 0xFF pair; and its first line is tried as a URL.
#include <cstdint>
#include <string>
#include <vector>

#include "Exception.h"
#include "HttpExchange.h"
#include "PiecesStream.h"
#include "AsciiText.h"
#include "HttpUrl.h"

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
  qelt::fuzz::PiecesStream stream(pieces);
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
