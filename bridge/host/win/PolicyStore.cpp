#include "PolicyStore.h"

#include <windows.h>

#include <vector>

#include "NamedMutex.h"
#include "RegistryNames.h"
#include "win/Resources.h"
#include "win/Text.h"

namespace qelt::bridge {
namespace {

std::wstring Wide(const char* text) { return win::Utf8ToWide(text); }

enum class Read { kAbsent, kValue, kUnreadable };

Read ReadMultiString(HKEY key, const char* name, std::vector<std::string>& out) {
  const std::wstring value = Wide(name);
  DWORD type = 0, size = 0;
  LSTATUS status = ::RegQueryValueExW(key, value.c_str(), nullptr, &type, nullptr, &size);
  if (status == ERROR_FILE_NOT_FOUND) return Read::kAbsent;
  if (status != ERROR_SUCCESS || type != REG_MULTI_SZ) return Read::kUnreadable;
  std::vector<wchar_t> data(size / sizeof(wchar_t) + 2, L'\0');
  size = static_cast<DWORD>((data.size() - 2) * sizeof(wchar_t));
  status = ::RegQueryValueExW(key, value.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
  if (status != ERROR_SUCCESS || type != REG_MULTI_SZ) return Read::kUnreadable;
  // Strings end at NULs; the data need not carry its final terminators.
  const std::size_t count = size / sizeof(wchar_t);
  for (std::size_t start = 0; start < count;) {
    std::size_t end = start;
    while (end < count && data[end] != L'\0') ++end;
    if (end > start) out.push_back(win::WideToUtf8(&data[start], end - start));
    start = end + 1;
  }
  return Read::kValue;
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
    return policy;
  }
  policy.allowed = ReadList(key.get(), names::kAllowedOrigins);
  policy.blocked = ReadList(key.get(), names::kBlockedOrigins);
  DWORD type = 0, value = 0, size = sizeof value;
  const LSTATUS prompt = ::RegQueryValueExW(key.get(), Wide(names::kPromptForOthers).c_str(), nullptr, &type,
                                            reinterpret_cast<BYTE*>(&value), &size);
  if (prompt == ERROR_FILE_NOT_FOUND) policy.prompt = PromptSetting::kOn;
  else if (prompt != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value) policy.prompt = PromptSetting::kUnreadable;
  else policy.prompt = value == 0 ? PromptSetting::kOff : PromptSetting::kOn;
  return policy;
}

Answers ReadAnswers() {
  Answers answers;
  win::UniqueKey user, logon;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, Wide(names::kUserKey).c_str(), 0, KEY_QUERY_VALUE, user.put()) == ERROR_SUCCESS)
    ReadMultiString(user.get(), names::kApprovedOrigins, answers.approved);
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, Wide(names::kThisLogonKey).c_str(), 0, KEY_QUERY_VALUE, logon.put()) ==
      ERROR_SUCCESS)
    ReadMultiString(logon.get(), names::kRefusedOrigins, answers.refused);
  return answers;
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
