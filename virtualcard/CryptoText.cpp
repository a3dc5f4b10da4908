#include "CryptoText.h"

#include <wincrypt.h>

namespace qelt::card {

std::wstring ToBase64(const std::vector<BYTE>& bytes) {
  if (bytes.empty()) return {};
  DWORD size = 0;
  const DWORD flags = CRYPT_STRING_BASE64;
  if (!::CryptBinaryToStringW(bytes.data(), static_cast<DWORD>(bytes.size()), flags, nullptr, &size)) return {};
  std::wstring text(size, L'\0');
  if (!::CryptBinaryToStringW(bytes.data(), static_cast<DWORD>(bytes.size()), flags, &text[0], &size)) return {};
  std::wstring line;
  line.reserve(text.size());
  for (wchar_t c : text)
    if (c != L'\r' && c != L'\n' && c != L'\0') line.push_back(c);
  return line;
}

bool FromBase64(const std::wstring& text, std::vector<BYTE>& bytes) {
  DWORD size = 0;
  if (text.empty() ||
      !::CryptStringToBinaryW(text.c_str(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64, nullptr, &size,
                              nullptr, nullptr) ||
      size == 0)
    return false;
  bytes.resize(size);
  if (!::CryptStringToBinaryW(text.c_str(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64, bytes.data(),
                              &size, nullptr, nullptr))
    return false;
  bytes.resize(size);
  return true;
}

std::vector<BYTE> AnsiBytes(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                      nullptr);
  std::vector<BYTE> bytes(static_cast<size_t>(n > 0 ? n : 0));
  if (n > 0)
    ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                          reinterpret_cast<char*>(bytes.data()), n, nullptr, nullptr);
  return bytes;
}

std::wstring FromAnsiBytes(const std::vector<BYTE>& bytes) {
  if (bytes.empty()) return {};
  const auto* data = reinterpret_cast<const char*>(bytes.data());
  const int n = ::MultiByteToWideChar(CP_ACP, 0, data, static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring text(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) ::MultiByteToWideChar(CP_ACP, 0, data, static_cast<int>(bytes.size()), &text[0], n);
  return text;
}

}  // namespace qelt::card
