#include "ExchangeDeadline.h"

#include <algorithm>

#include "Exception.h"

namespace qelt {

Deadline::Deadline(int totalMs, Clock::time_point start)
    : end_(start + std::chrono::milliseconds(totalMs)) {}

int Deadline::LeftMs(Clock::time_point now) const {
  if (now >= end_) return 0;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(end_ - now);
  return static_cast<int>(left.count());
}

size_t DeadlineStream::Read(char* buffer, size_t capacity, int timeoutMs) {
  const int left = deadline_.LeftMs();
  if (left == 0) throw Exception("Read Timeout");
  return inner_.Read(buffer, capacity, std::min(timeoutMs, left));
}

void DeadlineStream::Write(const char* data, size_t size, int timeoutMs) {
  const int left = deadline_.LeftMs();
  if (left == 0) throw Exception("Write Timeout");
  inner_.Write(data, size, std::min(timeoutMs, left));
}

}  // namespace qelt
