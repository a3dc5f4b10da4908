#include "Profile.h"

#include <windows.h>

#include <fstream>
#include <sstream>

namespace qelt::card {
namespace {

std::wstring Utf8ToWide(const std::string& s) {
  if (s.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &out[0], n);
  return out;
}

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  const size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

std::wstring ModuleFolder() {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ModuleFolder), &self);
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(self, path, MAX_PATH);
  std::wstring p(path, n);
  return p.substr(0, p.find_last_of(L"\\/") + 1);
}

bool ReadFile(const std::wstring& path, std::string& out) {
  std::ifstream in(path.c_str(), std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  out = s.str();
  return true;
}

}  // namespace

std::int32_t Profile::Injected(const std::wstring& operation) {
  auto script = scripted.find(operation);
  if (script != scripted.end() && !script->second.empty()) {
    const std::int32_t code = script->second.front();
    script->second.erase(script->second.begin());
    return code;
  }
  const auto it = injected.find(operation);
  return it == injected.end() ? 0 : it->second;
}

std::wstring Profile::Value(const std::wstring& key) const {
  const auto it = values.find(key);
  return it == values.end() ? std::wstring() : it->second;
}

std::wstring Profile::Path(const std::wstring& key) const {
  std::wstring v = Value(key);
  if (v.empty()) return v;
  const bool absolute = v[0] == L'\\' || v[0] == L'/' || (v.size() > 1 && v[1] == L':');
  return absolute ? v : folder + v;
}

Profile ParseProfile(const std::string& utf8, const std::wstring& folder) {
  Profile p;
  p.folder = folder;
  std::istringstream lines(utf8);
  std::string line;
  while (std::getline(lines, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::wstring key = Utf8ToWide(Trim(line.substr(0, eq)));
    const std::wstring value = Utf8ToWide(Trim(line.substr(eq + 1)));
    p.values[key] = value;
    if (key == L"pin") p.pin = value;
    else if (key == L"cardNumber") p.cardNumber = value;
    else if (key == L"present") p.present = value != L"no";
    else if (key == L"dispatch") p.offersDispatch = value != L"no";
    else if (key.rfind(L"fail.", 0) == 0) p.injected[key.substr(5)] = std::wcstol(value.c_str(), nullptr, 10);
    else if (key.rfind(L"script.", 0) == 0) {
      std::vector<std::int32_t>& codes = p.scripted[key.substr(7)];
      std::wistringstream list(value);
      std::wstring item;
      while (std::getline(list, item, L',')) codes.push_back(std::wcstol(item.c_str(), nullptr, 10));
    }
  }
  return p;
}

namespace {

// The development kit's per-user choice of card, when one is set.
std::wstring ProfileSetting() {
  wchar_t value[MAX_PATH];
  DWORD size = sizeof value;
  if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\QELTReader\\DevKit", L"CardProfile", RRF_RT_REG_SZ, nullptr,
                   value, &size) != ERROR_SUCCESS)
    return {};
  return value;
}

// The profile named by the environment, else by the kit's setting; empty
// when neither names one.
std::wstring NamedProfile() {
  wchar_t env[MAX_PATH];
  const DWORD n = GetEnvironmentVariableW(L"QELT_CARD_PROFILE", env, MAX_PATH);
  if (n > 0 && n < MAX_PATH) return std::wstring(env, n);
  return ProfileSetting();
}

}  // namespace

Profile LoadProfile() {
  const std::wstring named = NamedProfile();
  const std::wstring path = named.empty() ? ModuleFolder() + L"card.profile" : named;
  std::string text;
  if (!ReadFile(path, text)) {
    Profile builtIn;
    builtIn.present = named.empty();  // a named profile that cannot be read: no card
    return builtIn;
  }
  const size_t slash = path.find_last_of(L"\\/");
  return ParseProfile(text, slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1));
}

}  // namespace qelt::card
