// Custom actions of the installer: run the installed module's own
// registration entry points, so the registry holds exactly what the module
// writes (the module's path arrives as the deferred action's data); check the
// Chromium-family extension IDs an administrator gives, and write them into
// the installed Chrome/Edge host manifest.
#include <windows.h>
#include <msiquery.h>

#include <string>
#include <vector>

namespace {

std::wstring Property(MSIHANDLE install, const wchar_t* name) {
  DWORD size = 0;
  wchar_t empty[1] = L"";
  MsiGetPropertyW(install, name, empty, &size);
  std::wstring value(size + 1, L'\0');
  size = static_cast<DWORD>(value.size());
  if (MsiGetPropertyW(install, name, &value[0], &size) != ERROR_SUCCESS) return {};
  value.resize(size);
  return value;
}

std::wstring ActionData(MSIHANDLE install) { return Property(install, L"CustomActionData"); }

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

// The installer's error, shown in a box or written to the log (quiet
// installs). The text goes in as a field, so brackets in what the
// administrator typed are not taken for properties.
UINT Fail(MSIHANDLE install, const std::wstring& text) {
  PMSIHANDLE record = MsiCreateRecord(1);
  MsiRecordSetStringW(record, 0, L"[1]");
  MsiRecordSetStringW(record, 1, text.c_str());
  MsiProcessMessage(install, INSTALLMESSAGE(INSTALLMESSAGE_ERROR | MB_OK | MB_ICONERROR), record);
  return ERROR_INSTALL_FAILURE;
}

bool IsChromiumId(const std::wstring& id) {
  if (id.size() != 32) return false;
  for (wchar_t c : id) {
    if (c < L'a' || c > L'p') return false;
  }
  return true;
}

constexpr wchar_t kIdsProperty[] = L"CHROMIUMEXTENSIONIDS";

}  // namespace

extern "C" UINT __stdcall RegisterControl(MSIHANDLE install) {
  return CallModuleEntry(install, "DllRegisterServer", true);
}

// Removing what is registered never stops an uninstall.
extern "C" UINT __stdcall UnregisterControl(MSIHANDLE install) {
  return CallModuleEntry(install, "DllUnregisterServer", false);
}

// CHROMIUMEXTENSIONIDS: IDs separated by semicolons, blanks around them and
// empty entries ignored, a repeated ID dropped. Any other entry stops the
// install: a manifest that silently admitted fewer extensions than asked
// would only show when a browser fails to start the host.
extern "C" UINT __stdcall CheckExtensionIds(MSIHANDLE install) {
  const std::wstring given = Property(install, kIdsProperty);
  std::vector<std::wstring> ids;
  size_t start = 0;
  while (start <= given.size()) {
    size_t end = given.find(L';', start);
    if (end == std::wstring::npos) end = given.size();
    std::wstring id = given.substr(start, end - start);
    const size_t first = id.find_first_not_of(L" \t");
    id = first == std::wstring::npos ? L"" : id.substr(first, id.find_last_not_of(L" \t") - first + 1);
    start = end + 1;
    if (id.empty()) continue;
    if (!IsChromiumId(id)) {
      return Fail(install, L"CHROMIUMEXTENSIONIDS: \"" + id +
                               L"\" is no Chromium extension ID (32 letters from a to p). Give the IDs "
                               L"separated by semicolons.");
    }
    bool seen = false;
    for (const auto& known : ids) seen = seen || known == id;
    if (!seen) ids.push_back(id);
  }
  if (ids.empty()) return Fail(install, L"CHROMIUMEXTENSIONIDS names no Chromium extension ID.");
  std::wstring list;
  for (const auto& id : ids) list += (list.empty() ? L"" : L";") + id;
  MsiSetPropertyW(install, kIdsProperty, list.c_str());
  return ERROR_SUCCESS;
}

// Data: the installed Chromium host manifest's path, "|", the checked IDs.
// The manifest comes from the package with the build's IDs; only its
// "allowed_origins" list is written anew, in the package's layout.
extern "C" UINT __stdcall WriteChromiumManifest(MSIHANDLE install) {
  const std::wstring data = ActionData(install);
  const size_t bar = data.find(L'|');
  if (bar == std::wstring::npos) return ERROR_INSTALL_FAILURE;
  const std::wstring path = data.substr(0, bar);
  std::string origins;
  for (size_t start = bar + 1; start < data.size();) {
    size_t end = data.find(L';', start);
    if (end == std::wstring::npos) end = data.size();
    const std::wstring id = data.substr(start, end - start);
    start = end + 1;
    if (!IsChromiumId(id)) return ERROR_INSTALL_FAILURE;
    origins += (origins.empty() ? "\n" : ",\n");
    origins += "    \"chrome-extension://" + std::string(id.begin(), id.end()) + "/\"";
  }
  if (origins.empty()) return ERROR_INSTALL_FAILURE;
  origins += "\n  ";

  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ERROR_INSTALL_FAILURE;
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
  CloseHandle(file);
  const size_t key = text.find("\"allowed_origins\"");
  const size_t open = key == std::string::npos ? key : text.find('[', key);
  const size_t close = open == std::string::npos ? open : text.find(']', open);
  if (close == std::string::npos) return ERROR_INSTALL_FAILURE;
  text.replace(open + 1, close - open - 1, origins);

  const std::wstring temporary = path + L".new";
  file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ERROR_INSTALL_FAILURE;
  DWORD written = 0;
  const bool ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                  written == text.size();
  CloseHandle(file);
  if (!ok || !MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    DeleteFileW(temporary.c_str());
    return ERROR_INSTALL_FAILURE;
  }
  return ERROR_SUCCESS;
}
