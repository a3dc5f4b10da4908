#include "FailureText.h"

#include <cstdio>

#include "win/Text.h"

namespace qelt::control {

namespace {

// Where the last character of the text starts, double-byte characters whole.
size_t LastCharacterStart(const std::string& text) {
  size_t start = 0;
  for (size_t i = 0; i < text.size();) {
    start = i;
    const bool lead = ::IsDBCSLeadByte(static_cast<BYTE>(text[i])) && i + 1 < text.size();
    i += lead ? 2 : 1;
  }
  return start;
}

}  // namespace

std::string TrimMessageEnd(const std::string& text) {
  std::string out = text;
  while (!out.empty()) {
    const size_t last = LastCharacterStart(out);
    if (out.size() - last != 1) break;  // a double-byte character stays
    const unsigned char c = static_cast<unsigned char>(out[last]);
    if (c > 32 && c != '.') break;
    out.erase(last);
  }
  return out;
}

std::string CheckCardMessage(const std::string& description, HRESULT hr) {
  std::string message = TrimMessageEnd(description);
  if (!message.empty()) return message;
  const std::string system = win::SystemMessage(static_cast<DWORD>(hr));
  if (!system.empty()) return TrimMessageEnd(system);
  char fallback[32];
  std::snprintf(fallback, sizeof fallback, "OLE error %08X", static_cast<unsigned>(hr));
  return fallback;
}

std::string DaxErrorText(const std::string& message) {
  if (message.empty()) return message;
  const size_t last = LastCharacterStart(message);
  const int order = ::CompareStringA(LOCALE_USER_DEFAULT, 0, message.data() + last,
                                     static_cast<int>(message.size() - last), ".", 1);
  return order == CSTR_GREATER_THAN ? message + "." : message;
}

}  // namespace qelt::control
