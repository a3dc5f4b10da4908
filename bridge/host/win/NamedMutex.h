// A mutex shared by the hosts of one logon session, and a turn holding it.
#pragma once
#include <windows.h>

#include <string>

#include "win/Resources.h"

namespace qelt::bridge {

class NamedMutex {
 public:
  explicit NamedMutex(const std::wstring& name) : handle_(::CreateMutexW(nullptr, FALSE, name.c_str())) {}
  HANDLE get() const { return handle_.get(); }

 private:
  win::UniqueHandle handle_;
};

// Waits for the mutex (without one, goes on unguarded) and releases it at
// the end of the scope.
class MutexTurn {
 public:
  explicit MutexTurn(const NamedMutex& mutex) : mutex_(mutex.get()) {
    const DWORD status = mutex_ ? ::WaitForSingleObject(mutex_, INFINITE) : WAIT_FAILED;
    held_ = status == WAIT_OBJECT_0 || status == WAIT_ABANDONED;
  }
  // Takes over a mutex the caller already waited for.
  MutexTurn(HANDLE held, bool) : mutex_(held), held_(true) {}
  ~MutexTurn() {
    if (held_) ::ReleaseMutex(mutex_);
  }
  MutexTurn(const MutexTurn&) = delete;
  MutexTurn& operator=(const MutexTurn&) = delete;

 private:
  HANDLE mutex_;
  bool held_ = false;
};

}  // namespace qelt::bridge
