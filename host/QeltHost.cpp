// qelt.exe: a console host for the reader control. Creating the control
// runs its command-line mode with this program's own arguments, so
// "qelt OPT=4" prints the card's information.
#include <windows.h>

#include <cstdio>

#include "win/Resources.h"
#include "win/Text.h"

int main() {
  qelt::win::ComScope com;
  CLSID control{};
  HRESULT hr = CLSIDFromProgID(L"QELTReaderProj1.QELTReader", &control);
  if (SUCCEEDED(hr)) {
    qelt::win::ComPtr<IUnknown> reader;
    hr = CoCreateInstance(control, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                          reinterpret_cast<void**>(reader.GetAddressOf()));
  }
  if (FAILED(hr)) {
    std::fprintf(stderr, "qelt: cannot create the QELTReaderProj1.QELTReader control: %s\n",
                 qelt::win::ComErrorMessage(hr).c_str());
    return 1;
  }
  return 0;
}
