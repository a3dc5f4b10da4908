// The committed test cards, read from the source tree.
#pragma once
#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>

#include "TestSupport.h"

namespace qelt::test {

inline std::string CardFolder(const std::string& card) { return std::string(QELT_TEST_CARDS) + "/" + card; }

// Points the virtual card at a test card for as long as the object lives.
class UseCard {
 public:
  explicit UseCard(const std::string& card) {
    SetEnvironmentVariableW(L"QELT_CARD_PROFILE", WinPath(CardFolder(card) + "/card.profile").c_str());
  }
  ~UseCard() { SetEnvironmentVariableW(L"QELT_CARD_PROFILE", nullptr); }
  UseCard(const UseCard&) = delete;
  UseCard& operator=(const UseCard&) = delete;
};

inline std::string ReadCardFile(const std::string& card, const std::string& name) {
  std::ifstream in(WinPath(CardFolder(card) + "/" + name).c_str(), std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The Base64 body of a PEM file, as one line.
inline std::string PemBody(const std::string& pem) {
  std::string body;
  size_t line = 0;
  while (line < pem.size()) {
    size_t end = pem.find('\n', line);
    if (end == std::string::npos) end = pem.size();
    std::string text = pem.substr(line, end - line);
    if (!text.empty() && text.back() == '\r') text.pop_back();
    if (text.rfind("-----", 0) != 0) body += text;
    line = end + 1;
  }
  return body;
}

}  // namespace qelt::test
