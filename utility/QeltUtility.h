// The message object: error-table lookup and the parsers that build records.
#pragma once
#include <cstdint>
#include <string>

namespace qelt {

class TQeltUtility {
 public:
  virtual ~TQeltUtility() = default;
  // The error table's message for a toolkit result code; empty when the
  // table has none (every code outside 1..65535 included).
  std::string GetErrorMessage(std::int32_t code) const;
};

}  // namespace qelt
