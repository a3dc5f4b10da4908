#include "ExchangeDeadline.h"

#include <algorithm>

#include "Exception.h"

namespace qelt {

Deadline::Deadline(std::chrono::milliseconds total, Clock::time_point start) : end_(start + total) {}

std::chrono::milliseconds Deadline::Left(Clock::time_point now) const {
  if (now >= end_) return std::chrono::milliseconds(0);
  return std::chrono::ceil<std::chrono::milliseconds>(end_ - now);
}

size_t DeadlineStream::Read(char* buffer, size_t capacity, std::chrono::milliseconds timeout) {
  const std::chrono::milliseconds left = deadline_.Left();
  if (left.count() == 0) throw Exception("Read Timeout");
  return inner_.Read(buffer, capacity, std::min(timeout, left));
}

void DeadlineStream::Write(const char* data, size_t size, std::chrono::milliseconds timeout) {
  const std::chrono::milliseconds left = deadline_.Left();
  if (left.count() == 0) throw Exception("Write Timeout");
  inner_.Write(data, size, std::min(timeout, left));
}

}  // namespace qelt
