// One deadline for a whole exchange, kept without a thread or a timer: every
// wait asks how much time is left and waits no longer.
#pragma once
#include <chrono>

#include "ByteStream.h"

namespace qelt {

class Deadline {
 public:
  using Clock = std::chrono::steady_clock;

  // Ends total after start.
  explicit Deadline(std::chrono::milliseconds total, Clock::time_point start = Clock::now());

  // Whole milliseconds left at now, rounded up: 0 once the deadline has passed.
  std::chrono::milliseconds Left(Clock::time_point now = Clock::now()) const;

 private:
  Clock::time_point end_;
};

// A stream whose waits end by the deadline. Each wait gets the smaller of its
// own bound and the time left; once none is left, a wait fails at once as
// its own time-out would: "Read Timeout" or "Write Timeout".
class DeadlineStream : public ByteStream {
 public:
  DeadlineStream(ByteStream& inner, const Deadline& deadline) : inner_(inner), deadline_(deadline) {}

  size_t Read(char* buffer, size_t capacity, std::chrono::milliseconds timeout) override;
  void Write(const char* data, size_t size, std::chrono::milliseconds timeout) override;

 private:
  ByteStream& inner_;
  const Deadline& deadline_;
};

}  // namespace qelt
