// Text across the platform boundary: 8-bit ANSI text inside, wide strings outside.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <string>

namespace qelt::win {

std::wstring AnsiToWide(const std::string& ansi);
std::string WideToAnsi(const wchar_t* wide, size_t length);
std::string WideToAnsi(const std::wstring& wide);
// A new BSTR holding the ANSI text converted to UTF-16 (the caller owns it).
BSTR AnsiToBstr(const std::string& ansi);
std::string BstrToAnsi(BSTR bstr);

// UTF-8, as JSON carries text, and UTF-16. Unpaired surrogates become U+FFFD.
std::wstring Utf8ToWide(const std::string& utf8);
std::string WideToUtf8(const wchar_t* wide, size_t length);

// The system's message text for an error code, in the ANSI code page, with
// trailing line breaks removed; empty when the system has none.
std::string SystemMessage(DWORD code);
std::wstring SystemMessageWide(DWORD code);
// The message for a failed COM call: the system's text, or "OLE error "
// and the code in eight hexadecimal digits when the system has none.
std::string ComErrorMessage(HRESULT hr);

// A GUID as the registry spells it: upper case, with braces.
std::wstring GuidText(const GUID& guid);

// The module (EXE or DLL) that holds this code: its resources are ours.
HMODULE ThisModule();

}  // namespace qelt::win
