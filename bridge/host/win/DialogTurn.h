// The turn of a mutex the hosts of one logon share, waited for while the
// thread's window messages keep flowing and its input may end.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "NamedMutex.h"

namespace qelt::bridge {

// Every dialog the hosts show to the person takes this turn: one at a time.
inline constexpr wchar_t kDialogMutexName[] = L"Local\\QELTReader.Bridge.Dialog";

class DialogTurn {
 public:
  // Waits until this host holds the mutex named name, or until inputEnded
  // says the browser went away. Without a mutex, goes on unguarded.
  DialogTurn(const std::wstring& name, const std::function<bool()>& inputEnded);
  ~DialogTurn();
  DialogTurn(const DialogTurn&) = delete;
  DialogTurn& operator=(const DialogTurn&) = delete;

  // False when input ended first: nothing is held, and nothing may be shown.
  bool taken() const { return taken_; }

 private:
  NamedMutex mutex_;
  bool taken_ = false;
  bool held_ = false;
};

}  // namespace qelt::bridge
