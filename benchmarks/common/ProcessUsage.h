// The process's open handles and memory, to show that repeated exchanges
// leave nothing behind.
#pragma once
#include <cstddef>

namespace qelt::bench {

struct ProcessUsage {
  unsigned long reportedHandles = 0;  // GetProcessHandleCount; Wine 8 always says 0
  unsigned long openHandles = 0;      // counted one by one, so Wine shows a leak too
  size_t committedBytes = 0;          // PagefileUsage: Wine leaves PrivateUsage at 0
  size_t workingSetBytes = 0;
};

// Throws qelt::Exception when the system cannot tell.
ProcessUsage CurrentProcessUsage();

}  // namespace qelt::bench
