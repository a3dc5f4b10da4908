// Custom actions of the installer: run the installed module's own
// registration entry points, so the registry holds exactly what the module
// writes. The module's path arrives as the deferred action's data.
#include <windows.h>
#include <msiquery.h>

#include <string>

namespace {

std::wstring ActionData(MSIHANDLE install) {
  DWORD size = 0;
  wchar_t empty[1] = L"";
  MsiGetPropertyW(install, L"CustomActionData", empty, &size);
  std::wstring data(size + 1, L'\0');
  size = static_cast<DWORD>(data.size());
  if (MsiGetPropertyW(install, L"CustomActionData", &data[0], &size) != ERROR_SUCCESS) return {};
  data.resize(size);
  return data;
}

UINT CallModuleEntry(MSIHANDLE install, const char* entry, bool mustSucceed) {
  const std::wstring path = ActionData(install);
  HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!module) return mustSucceed ? ERROR_INSTALL_FAILURE : ERROR_SUCCESS;
  using Entry = HRESULT(__stdcall*)();
  auto call = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module, entry)));
  const HRESULT hr = call ? call() : E_FAIL;
  FreeLibrary(module);
  return SUCCEEDED(hr) || !mustSucceed ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
}

}  // namespace

extern "C" UINT __stdcall RegisterControl(MSIHANDLE install) {
  return CallModuleEntry(install, "DllRegisterServer", true);
}

// Removing what is registered never stops an uninstall.
extern "C" UINT __stdcall UnregisterControl(MSIHANDLE install) {
  return CallModuleEntry(install, "DllUnregisterServer", false);
}
