#include "ProcessUsage.h"

#include <windows.h>
#include <psapi.h>

#include <string>

#include "Exception.h"

namespace qelt::bench {

namespace {

// Handle values are multiples of 4; a leak of one handle an exchange over
// a few thousand exchanges stays well below this.
constexpr ULONG_PTR kHighestHandleProbed = 4 * 16384;

unsigned long CountOpenHandles() {
  unsigned long count = 0;
  DWORD flags = 0;
  for (ULONG_PTR value = 4; value <= kHighestHandleProbed; value += 4) {
    if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
  }
  return count;
}

}  // namespace

ProcessUsage CurrentProcessUsage() {
  ProcessUsage usage;
  const HANDLE self = ::GetCurrentProcess();  // a pseudo handle: nothing to close
  DWORD handles = 0;
  if (!::GetProcessHandleCount(self, &handles)) {
    throw Exception("GetProcessHandleCount failed: error " + std::to_string(::GetLastError()));
  }
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof memory;
  if (!::GetProcessMemoryInfo(self, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                              sizeof memory)) {
    throw Exception("GetProcessMemoryInfo failed: error " + std::to_string(::GetLastError()));
  }
  usage.reportedHandles = handles;
  usage.openHandles = CountOpenHandles();
  usage.committedBytes = memory.PagefileUsage;
  usage.workingSetBytes = memory.WorkingSetSize;
  return usage;
}

}  // namespace qelt::bench
