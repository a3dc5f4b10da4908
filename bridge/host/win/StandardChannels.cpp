#include "StandardChannels.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

namespace qelt::bridge {
namespace {

win::UniqueHandle Duplicate(HANDLE handle) {
  win::UniqueHandle copy;
  if (handle && handle != INVALID_HANDLE_VALUE)
    ::DuplicateHandle(::GetCurrentProcess(), handle, ::GetCurrentProcess(), copy.put(), 0, FALSE,
                      DUPLICATE_SAME_ACCESS);
  return copy;
}

// The null device stands in for a standard handle for the rest of the
// process's life.
HANDLE NullDevice() {
  static win::UniqueHandle device(::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                nullptr, OPEN_EXISTING, 0, nullptr));
  return device.get();
}

}  // namespace

StandardChannels TakeStandardChannels() {
  StandardChannels channels{Duplicate(::GetStdHandle(STD_INPUT_HANDLE)), Duplicate(::GetStdHandle(STD_OUTPUT_HANDLE))};
  HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
  const bool hasError = error && error != INVALID_HANDLE_VALUE;
  ::SetStdHandle(STD_OUTPUT_HANDLE, hasError ? error : NullDevice());
  ::SetStdHandle(STD_INPUT_HANDLE, NullDevice());
  // This program's C runtime too (the control's own runtime starts later and
  // asks the system).
  std::fflush(stdout);
  if (hasError) {
    _dup2(_fileno(stderr), _fileno(stdout));
  } else {
    std::freopen("NUL", "w", stdout);
  }
  std::freopen("NUL", "r", stdin);
  return channels;
}

bool WriteAll(HANDLE output, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
    if (!::WriteFile(output, bytes.data() + done, chunk, &written, nullptr) || written == 0) return false;
    done += written;
  }
  return true;
}

}  // namespace qelt::bridge
