// The installer as the upgrade test sees it, through its own API:
//   msi_probe products {UPGRADE-CODE}   each related product: "{CODE} VERSION"
//   msi_probe install PACKAGE [PROPERTIES]  the installer's messages, each
//                                       as "message: TEXT", then "result: N";
//                                       PROPERTIES as on msiexec's command line
// An install runs with the basic interface so refusals are shown; the
// messages are caught both from the external interface and as message boxes
// (closed at once), whichever way the platform shows them.
#include <windows.h>
#include <msi.h>

#include <cstdio>
#include <string>

#include "TestSupport.h"

namespace {

std::string Utf8(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(size > 0 ? size - 1 : 0, '\0');
  if (size > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], size, nullptr, nullptr);
  return out;
}

std::wstring Wide(const char* text) {
  const int size = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  std::wstring out(size > 0 ? size - 1 : 0, L'\0');
  if (size > 1) MultiByteToWideChar(CP_ACP, 0, text, -1, &out[0], size);
  return out;
}

int Products(const std::wstring& upgradeCode) {
  wchar_t product[39];
  for (DWORD i = 0; MsiEnumRelatedProductsW(upgradeCode.c_str(), 0, i, product) == ERROR_SUCCESS; ++i) {
    wchar_t version[64] = L"";
    DWORD size = ARRAYSIZE(version);
    MsiGetProductInfoW(product, INSTALLPROPERTY_VERSIONSTRING, version, &size);
    std::printf("%s %s\n", Utf8(product).c_str(), Utf8(version).c_str());
  }
  return 0;
}

INT CALLBACK ExternalInterface(LPVOID, UINT type, LPCWSTR message) {
  const UINT kind = type & 0xFF000000u;
  if (kind != INSTALLMESSAGE_ERROR && kind != INSTALLMESSAGE_FATALEXIT) return 0;
  if (message && *message) std::printf("message: %s\n", Utf8(message).c_str());
  return IDOK;
}

int Install(const std::wstring& package, const std::wstring& properties) {
  qelt::test::MessageBoxWatch boxes;
  MsiSetInternalUI(INSTALLUILEVEL_BASIC, nullptr);
  MsiSetExternalUIW(ExternalInterface, INSTALLLOGMODE_ERROR | INSTALLLOGMODE_FATALEXIT, nullptr);
  const UINT result = MsiInstallProductW(package.c_str(), properties.c_str());
  for (const auto& box : boxes.Boxes()) std::printf("message: %s\n", box.text.c_str());
  std::printf("result: %u\n", result);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc >= 3 ? argv[1] : "";
  if (command == "products" && argc == 3) return Products(Wide(argv[2]));
  if (command == "install" && argc <= 4) return Install(Wide(argv[2]), Wide(argc == 4 ? argv[3] : ""));
  std::fprintf(stderr, "usage: msi_probe products {UPGRADE-CODE} | install PACKAGE [PROPERTIES]\n");
  return 2;
}
