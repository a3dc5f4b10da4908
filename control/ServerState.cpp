#include "ServerState.h"

#include "Exception.h"
#include "win/Text.h"

namespace qelt::control::server {

namespace {
volatile LONG g_objects = 0;
volatile LONG g_locks = 0;
volatile LONG g_factoryReferences = 0;
}  // namespace

void ObjectCreated() { ::InterlockedIncrement(&g_objects); }
void ObjectDestroyed() { ::InterlockedDecrement(&g_objects); }
void LockTaken() { ::InterlockedIncrement(&g_locks); }
void LockReleased() { ::InterlockedDecrement(&g_locks); }
void FactoryReferenced() { ::InterlockedIncrement(&g_factoryReferences); }
void FactoryReleased() { ::InterlockedDecrement(&g_factoryReferences); }

bool CanUnload() {
  return ::InterlockedCompareExchange(&g_objects, 0, 0) == 0 && ::InterlockedCompareExchange(&g_locks, 0, 0) == 0 &&
         ::InterlockedCompareExchange(&g_factoryReferences, 0, 0) == 0;
}

HMODULE Module() { return win::ThisModule(); }

std::wstring ModulePath() {
  wchar_t path[MAX_PATH + 1];
  const DWORD n = ::GetModuleFileNameW(Module(), path, MAX_PATH + 1);
  if (n == 0 || n > MAX_PATH) throw Exception(win::SystemMessage(::GetLastError()));
  wchar_t longPath[MAX_PATH + 1];
  const DWORD m = ::GetLongPathNameW(path, longPath, MAX_PATH + 1);
  return (m > 0 && m <= MAX_PATH) ? std::wstring(longPath, m) : std::wstring(path, n);
}

}  // namespace qelt::control::server
