// The failure raised when the server answers, but not with a success.
#pragma once
#include <cstdint>
#include <string>
#include <utility>

#include "Exception.h"

namespace qelt {

// Message: the status line. Also carries the reply code (-1 when the status
// line has no readable code) and the reply body as raw bytes.
class EIdHTTPProtocolException : public Exception {
 public:
  EIdHTTPProtocolException(int32_t code, std::string statusLine, std::string body)
      : Exception(std::move(statusLine)), code_(code), body_(std::move(body)) {}
  int32_t Code() const noexcept { return code_; }
  const std::string& Body() const noexcept { return body_; }

 private:
  int32_t code_;
  std::string body_;
};

}  // namespace qelt
