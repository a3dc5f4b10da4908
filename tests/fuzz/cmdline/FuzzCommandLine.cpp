// Fuzz entry for the command line: the input is a process command line; its
// arguments become a parameters record, and each is split and converted.
#include <cstdint>
#include <string>

#include "CommandLineItems.h"
#include "CommandLineParams.h"
#include "Exception.h"
#include "IntegerText.h"
#include "SplitString.h"

namespace {
bool Big5Lead(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> arguments = qelt::CommandLineArguments(line);
  try {
    qelt::ParseArguments(arguments, Big5Lead);
  } catch (const qelt::Exception&) {
  }
  for (const std::string& argument : arguments) {
    const std::vector<std::string> pieces = qelt::SplitString(argument, "=", Big5Lead);
    if (pieces.empty()) __builtin_trap();  // always at least one piece
    std::int32_t value = 0;
    for (const std::string& piece : pieces) qelt::TryStrToInt(piece, value);
  }
  std::int32_t value = 0;
  qelt::TryStrToInt(line, value);
  return 0;
}
