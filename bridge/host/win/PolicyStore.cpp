#include "PolicyStore.h"

#include <windows.h>

#include <vector>

#include "NamedMutex.h"
#include "Protocol.h"
#include "RegistryNames.h"
#include "win/Resources.h"
#include "win/Text.h"

namespace qelt::bridge {
namespace {

std::wstring Wide(const char* text) { return win::Utf8ToWide(text); }

enum class Read { kAbsent, kValue, kUnreadable };

// A text value's characters, if it has the type expected. The data need
// not carry its final terminators: two NULs more are there to read.
Read ReadWide(HKEY key, const char* name, DWORD expected, std::vector<wchar_t>& data) {
  const std::wstring value = Wide(name);
  DWORD type = 0, size = 0;
  LSTATUS status = ::RegQueryValueExW(key, value.c_str(), nullptr, &type, nullptr, &size);
  if (status == ERROR_FILE_NOT_FOUND) return Read::kAbsent;
  if (status != ERROR_SUCCESS || type != expected) return Read::kUnreadable;
  data.assign(size / sizeof(wchar_t) + 2, L'\0');
  size = static_cast<DWORD>((data.size() - 2) * sizeof(wchar_t));
  status = ::RegQueryValueExW(key, value.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
  if (status != ERROR_SUCCESS || type != expected) return Read::kUnreadable;
  data.resize(size / sizeof(wchar_t));
  return Read::kValue;
}

Read ReadMultiString(HKEY key, const char* name, std::vector<std::string>& out) {
  std::vector<wchar_t> data;
  const Read read = ReadWide(key, name, REG_MULTI_SZ, data);
  // Strings end at NULs.
  for (std::size_t start = 0; start < data.size();) {
    std::size_t end = start;
    while (end < data.size() && data[end] != L'\0') ++end;
    if (end > start) out.push_back(win::WideToUtf8(&data[start], end - start));
    start = end + 1;
  }
  return read;
}

void WriteMultiString(HKEY key, const char* name, const std::vector<std::string>& strings) {
  std::wstring data;
  for (const auto& text : strings) {
    data += win::Utf8ToWide(text);
    data.push_back(L'\0');
  }
  data.push_back(L'\0');
  ::RegSetValueExW(key, Wide(name).c_str(), 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                   static_cast<DWORD>(data.size() * sizeof(wchar_t)));
}

// A REG_SZ value: absent, its text, or unreadable (another type).
Read ReadString(HKEY key, const char* name, std::string& out) {
  std::vector<wchar_t> data;
  const Read read = ReadWide(key, name, REG_SZ, data);
  std::size_t length = data.size();
  while (length > 0 && data[length - 1] == L'\0') --length;
  out = win::WideToUtf8(data.data(), length);
  return read;
}

Read ReadDword(HKEY key, const char* name, DWORD& out) {
  DWORD type = 0, size = sizeof out;
  const LSTATUS status =
      ::RegQueryValueExW(key, Wide(name).c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&out), &size);
  if (status == ERROR_FILE_NOT_FOUND) return Read::kAbsent;
  if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof out) return Read::kUnreadable;
  return Read::kValue;
}

// ProxyServer sets the proxy; the others only with it. Any of them of the
// wrong type makes the whole policy unreadable.
ManagedProxy ReadProxy(HKEY key) {
  ManagedProxy proxy;
  DWORD port = 0;
  const Read server = ReadString(key, names::kProxyServer, proxy.server);
  if (server == Read::kUnreadable) proxy.unreadable = names::kProxyServer;
  else if (ReadDword(key, names::kProxyPort, port) == Read::kUnreadable) proxy.unreadable = names::kProxyPort;
  else if (ReadString(key, names::kProxyUser, proxy.user) == Read::kUnreadable) proxy.unreadable = names::kProxyUser;
  else if (ReadString(key, names::kProxyPass, proxy.pass) == Read::kUnreadable) proxy.unreadable = names::kProxyPass;
  proxy.set = server == Read::kValue && !proxy.unreadable;
  proxy.port = static_cast<std::int32_t>(port);
  return proxy;
}

OriginList ReadList(HKEY key, const char* name) {
  OriginList list;
  list.readable = ReadMultiString(key, name, list.entries) != Read::kUnreadable;
  return list;
}

win::UniqueKey CreateKey(HKEY parent, const std::wstring& path, DWORD options, REGSAM access) {
  win::UniqueKey key;
  if (::RegCreateKeyExW(parent, path.c_str(), 0, nullptr, options, access, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
    return win::UniqueKey();
  return key;
}

// The user's key, for good; for a No, its volatile subkey. Creating the
// subkey's path in one call would make every key it creates volatile, the
// user's key with its approvals among them.
win::UniqueKey AnswerKey(bool yes) {
  const REGSAM access = KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
  win::UniqueKey user = CreateKey(HKEY_CURRENT_USER, Wide(names::kUserKey), REG_OPTION_NON_VOLATILE, access);
  if (yes || !user) return user;
  const std::string logon = names::kThisLogonKey;
  const std::string parent = names::kUserKey;
  return CreateKey(user.get(), Wide(logon.substr(parent.size() + 1).c_str()), REG_OPTION_VOLATILE, access);
}

}  // namespace

Policy ReadPolicy() {
  Policy policy;
  win::UniqueKey key;
  const LSTATUS status =
      ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(names::kPolicyKey).c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.put());
  if (status == ERROR_FILE_NOT_FOUND) return policy;
  if (status != ERROR_SUCCESS) {
    // Whatever it says cannot be known: nothing is proven allowed.
    policy.allowed.readable = policy.blocked.readable = false;
    policy.prompt = PromptSetting::kUnreadable;
    policy.pinFromPages = false;
    policy.signingOrigins = true;
    return policy;
  }
  policy.allowed = ReadList(key.get(), names::kAllowedOrigins);
  policy.blocked = ReadList(key.get(), names::kBlockedOrigins);
  DWORD value = 0;
  switch (ReadDword(key.get(), names::kPromptForOthers, value)) {
    case Read::kAbsent: policy.prompt = PromptSetting::kOn; break;
    case Read::kUnreadable: policy.prompt = PromptSetting::kUnreadable; break;
    case Read::kValue: policy.prompt = value == 0 ? PromptSetting::kOff : PromptSetting::kOn; break;
  }
  policy.proxy = ReadProxy(key.get());
  // A value that cannot be read takes the stricter setting.
  DWORD pinFromPages = 1, signingOrigins = 0;
  if (ReadDword(key.get(), names::kPinFromPages, pinFromPages) == Read::kUnreadable) pinFromPages = 0;
  if (ReadDword(key.get(), names::kSigningOrigins, signingOrigins) == Read::kUnreadable) signingOrigins = 1;
  policy.pinFromPages = pinFromPages != 0;
  policy.signingOrigins = signingOrigins != 0;
  return policy;
}

Answers ReadAnswers() {
  Answers answers;
  win::UniqueKey user, logon;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, Wide(names::kUserKey).c_str(), 0, KEY_QUERY_VALUE, user.put()) == ERROR_SUCCESS)
    ReadMultiString(user.get(), names::kApprovedOrigins, answers.approved);
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, Wide(names::kThisLogonKey).c_str(), 0, KEY_QUERY_VALUE, logon.put()) ==
      ERROR_SUCCESS) {
    ReadMultiString(logon.get(), names::kRefusedOrigins, answers.refused);
    std::vector<std::string> unanswered;
    ReadMultiString(logon.get(), names::kUnansweredOrigins, unanswered);
    for (const auto& text : unanswered) {
      Unanswered entry;
      if (ParseUnanswered(text, entry)) answers.unanswered.push_back(std::move(entry));
    }
  }
  answers.now = SecondsNow();
  return answers;
}

std::int64_t SecondsNow() {
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  const std::uint64_t ticks = (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  return static_cast<std::int64_t>(ticks / 10000000ULL) - 11644473600LL;  // 1601 to 1970
}

void RememberUnanswered(const std::string& origin) {
  NamedMutex mutex(L"Local\\QELTReader.Bridge.Answers");
  const MutexTurn turn(mutex);
  const win::UniqueKey key = AnswerKey(false);
  if (!key) return;
  std::vector<std::string> entries, kept;
  ReadMultiString(key.get(), names::kUnansweredOrigins, entries);
  const std::int64_t now = SecondsNow();
  for (const auto& text : entries) {
    Unanswered entry;
    if (ParseUnanswered(text, entry) && entry.origin != origin && now - entry.at < kUnansweredMemorySeconds &&
        entry.at <= now)
      kept.push_back(text);
  }
  kept.push_back(UnansweredText({origin, now}));
  WriteMultiString(key.get(), names::kUnansweredOrigins, kept);
}

void RememberAnswer(const std::string& origin, bool yes) {
  // Read, add, write: one host at a time, or two answers could lose one.
  NamedMutex mutex(L"Local\\QELTReader.Bridge.Answers");
  const MutexTurn turn(mutex);
  const win::UniqueKey key = AnswerKey(yes);
  if (!key) return;
  const char* name = yes ? names::kApprovedOrigins : names::kRefusedOrigins;
  std::vector<std::string> entries;
  if (ReadMultiString(key.get(), name, entries) == Read::kUnreadable) entries.clear();
  if (ListHolds(entries, origin)) return;
  entries.push_back(origin);
  WriteMultiString(key.get(), name, entries);
}

}  // namespace qelt::bridge
