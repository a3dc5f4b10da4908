// The system's failure: an exception whose whole content is a message text
// (8-bit, in the ANSI code page).
#pragma once
#include <stdexcept>
#include <string>

namespace qelt {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const noexcept { return message_; }

 private:
  std::string message_;
};

}  // namespace qelt
