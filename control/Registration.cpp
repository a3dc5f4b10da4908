#include "Registration.h"

#include <algorithm>
#include <cwchar>
#include <optional>

#include "ComGuard.h"
#include "ServerState.h"
#include "win/Architecture.h"
#include "win/Resources.h"
#include "win/Text.h"

namespace qelt::control {

namespace {

using win::GuidText;

std::wstring ClassKey(const ControlClass& c) { return L"CLSID\\" + GuidText(c.classId); }

// The short (8.3) form of a path that holds a blank, for hosts that split
// the server's command at blanks.
std::wstring ServerPath(const std::wstring& path) {
  if (path.find(L' ') == std::wstring::npos) return path;
  wchar_t shortPath[MAX_PATH + 1];
  const DWORD n = ::GetShortPathNameW(path.c_str(), shortPath, MAX_PATH + 1);
  return (n > 0 && n <= MAX_PATH) ? std::wstring(shortPath, n) : path;
}

// The default value of a key in one registry view, if the key exists.
std::optional<std::wstring> DefaultValue(HKEY root, const std::wstring& name, REGSAM view) {
  win::UniqueKey key;
  if (::RegOpenKeyExW(root, name.c_str(), 0, KEY_QUERY_VALUE | view, key.put()) != ERROR_SUCCESS) return std::nullopt;
  wchar_t value[MAX_PATH + 1] = {};
  DWORD bytes = sizeof(value) - sizeof(wchar_t), type = 0;
  if (::RegQueryValueExW(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &bytes) != ERROR_SUCCESS ||
      type != REG_SZ)
    return std::wstring();
  return std::wstring(value);
}

// On 64-bit Windows each registry view has its own class key, but the ProgID
// key is one for both. While the module of the other bitness is registered
// beside this one (its class key names another server), its hosts still
// reach the class through that ProgID. Elsewhere both "views" are the same
// key and this never holds.
bool OtherBitnessServesClass(HKEY root, const ControlClass& c) {
#ifdef _WIN64
  const REGSAM own = KEY_WOW64_64KEY, other = KEY_WOW64_32KEY;
#else
  const REGSAM own = KEY_WOW64_32KEY, other = KEY_WOW64_64KEY;
#endif
  const std::wstring server = ClassKey(c) + L"\\InprocServer32";
  const auto theirs = DefaultValue(root, server, other);
  if (!theirs || theirs->empty()) return false;
  const auto ours = DefaultValue(root, server, own);
  return !ours || ::_wcsicmp(ours->c_str(), theirs->c_str()) != 0;
}

std::wstring Folder(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

}  // namespace

std::vector<RegistryRow> ControlRegistryRows(const ControlClass& c, const std::wstring& modulePath) {
  const std::wstring classKey = ClassKey(c);
  wchar_t version[32], status[16], verb[64];
  std::swprintf(version, 32, L"%d.%d", c.majorVersion, c.minorVersion);
  std::swprintf(status, 16, L"%lu", static_cast<unsigned long>(kMiscStatus));
  std::swprintf(verb, 64, L"%ls,%lu,%lu", kVerbName, static_cast<unsigned long>(kVerbMenuFlags),
                static_cast<unsigned long>(kVerbAttributes));
  return {
      {classKey, c.description},
      {classKey + L"\\InprocServer32", ServerPath(modulePath)},
      {c.progId, c.description},
      {c.progId + L"\\Clsid", GuidText(c.classId)},
      {classKey + L"\\ProgID", c.progId},
      {classKey + L"\\Version", version},
      {classKey + L"\\TypeLib", GuidText(c.libraryId)},
      {classKey + L"\\MiscStatus", L"0"},
      {classKey + L"\\MiscStatus\\1", status},
      {classKey + L"\\ToolboxBitmap32", modulePath + L",1"},
      {classKey + L"\\Control", L""},
      {classKey + L"\\Verb", L""},
      {classKey + L"\\Verb\\0", verb},
  };
}

std::vector<std::wstring> ControlRegistryKeys(const ControlClass& c) {
  const std::wstring classKey = ClassKey(c);
  return {
      classKey + L"\\Verb\\0",      classKey + L"\\Verb",       classKey + L"\\Control",
      classKey + L"\\ToolboxBitmap32", classKey + L"\\MiscStatus\\1", classKey + L"\\MiscStatus",
      classKey + L"\\TypeLib",      classKey + L"\\Version",    classKey + L"\\ProgID",
      c.progId + L"\\Clsid",        c.progId,                   classKey + L"\\InprocServer32",
      classKey,
  };
}

void WriteRegistryRows(HKEY root, const std::vector<RegistryRow>& rows) {
  for (const RegistryRow& row : rows) {
    win::UniqueKey key;
    LONG status = ::RegCreateKeyExW(root, row.key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                    KEY_READ | KEY_WRITE, nullptr, key.put(), nullptr);
    if (status == ERROR_SUCCESS) {
      // The text with its terminating zero.
      const DWORD bytes = static_cast<DWORD>((row.value.size() + 1) * sizeof(wchar_t));
      status = ::RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(row.value.c_str()), bytes);
    }
    if (status != ERROR_SUCCESS) throw Exception("Error creating system registry entry");
  }
}

void DeleteRegistryKeys(HKEY root, const std::vector<std::wstring>& keys) {
  for (const std::wstring& name : keys) {
    win::UniqueKey key;
    if (::RegOpenKeyExW(root, name.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) continue;  // already gone
    DWORD subkeys = 0;
    if (::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                           nullptr, nullptr, nullptr) != ERROR_SUCCESS || subkeys > 0)
      continue;  // someone else's keys live below: keep it
    key.reset();
    ::RegDeleteKeyW(root, name.c_str());
  }
}

void RegisterServer(HKEY root) {
  const ControlClass& c = TheControlClass();
  const std::wstring path = server::ModulePath();
  const std::wstring helpFolder = Folder(path);
  ThrowIfFailed(::RegisterTypeLib(c.library.Get(), const_cast<LPOLESTR>(path.c_str()),
                                  const_cast<LPOLESTR>(helpFolder.c_str())));
  WriteRegistryRows(root, ControlRegistryRows(c, path));
}

void UnregisterServer(HKEY root) {
  const ControlClass& c = TheControlClass();
  // A library the platform does not know is no failure here.
  ::UnRegisterTypeLib(c.libraryId, c.majorVersion, c.minorVersion, c.lcid, win::kModuleSysKind);
  std::vector<std::wstring> keys = ControlRegistryKeys(c);
  if (OtherBitnessServesClass(root, c)) {
    // The shared ProgID stays for the other bitness's hosts.
    const auto isProgIdKey = [&](const std::wstring& k) { return k == c.progId || k == c.progId + L"\\Clsid"; };
    keys.erase(std::remove_if(keys.begin(), keys.end(), isProgIdKey), keys.end());
  }
  DeleteRegistryKeys(root, keys);
}

}  // namespace qelt::control
