// The yardstick for the host program: a console program that only creates
// and releases one in-process COM object (the card toolkit's control).
#include <windows.h>

#include "win/Resources.h"

int main() {
  qelt::win::ComScope com;
  CLSID toolkit{};
  if (FAILED(CLSIDFromString(L"{BC6CA137-0C5C-4850-AE73-5AB35BD1DB8A}", &toolkit))) return 1;
  qelt::win::ComPtr<IUnknown> object;
  return FAILED(CoCreateInstance(toolkit, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                 reinterpret_cast<void**>(object.GetAddressOf())))
             ? 1
             : 0;
}
