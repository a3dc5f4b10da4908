// The to-be-signed text: user information and data in fixed tags.
#pragma once
#include <string>

namespace qelt {

class TSignUtility {
 public:
  virtual ~TSignUtility() = default;
  std::string body;
  std::string header;
  // Both parts go in exactly as they are: no escaping, no trimming.
  std::string GetTBS() const;
};

}  // namespace qelt
