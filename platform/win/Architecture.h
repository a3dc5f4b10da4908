// What the module's architecture fixes about its type library: the platform
// kind it is built for and the registry key the platform files it under.
#pragma once
#include <oaidl.h>

namespace qelt::win {

#ifdef _WIN64
inline constexpr SYSKIND kModuleSysKind = SYS_WIN64;
inline constexpr wchar_t kTypeLibPlatformKey[] = L"win64";
#else
inline constexpr SYSKIND kModuleSysKind = SYS_WIN32;
inline constexpr wchar_t kTypeLibPlatformKey[] = L"win32";
#endif

}  // namespace qelt::win
