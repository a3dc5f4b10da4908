// The message object: error-table lookup (ErrorMessages.cpp) and the parsers
// that build records (CommandLineMode.cpp, CardReading.cpp).
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "CardInfo.h"
#include "Params.h"

namespace qelt {

class TQeltUtility {
 public:
  virtual ~TQeltUtility() = default;
  // The error table's message for a toolkit result code; empty when the
  // table has none (every code outside 1..65535 included).
  std::string GetErrorMessage(std::int32_t code) const;
  // A new record filled from the hosting process's command line (CommandLineMode.cpp).
  std::unique_ptr<TParams> ParseCommandLine() const;
  // The toolkit's certificate information as a new record (CardReading.cpp).
  std::unique_ptr<TCardInfo> ParseCardInfo(const std::string& info, const std::string& cardNo) const;
};

}  // namespace qelt
