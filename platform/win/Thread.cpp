#include "win/Thread.h"

#include <process.h>
#include <windows.h>

#include <exception>
#include <memory>

#include "Exception.h"
#include "win/Text.h"

namespace qelt::win {
namespace {

unsigned __stdcall RunBody(void* parameter) {
  const std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(parameter));
  try {
    (*body)();
  } catch (...) {
    std::terminate();
  }
  return 0;
}

}  // namespace

UniqueHandle StartThread(std::function<void()> body) {
  auto owned = std::make_unique<std::function<void()>>(std::move(body));
  const uintptr_t started = ::_beginthreadex(nullptr, 0, RunBody, owned.get(), 0, nullptr);
  if (started == 0) throw Exception("Cannot start a thread: " + SystemMessage(::GetLastError()));
  owned.release();  // the thread owns it now
  return UniqueHandle(reinterpret_cast<HANDLE>(started));
}

}  // namespace qelt::win
