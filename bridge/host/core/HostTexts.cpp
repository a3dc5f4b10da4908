#include "HostTexts.h"

namespace qelt::bridge::text {

std::string Fill(std::string_view text, std::string_view name, std::string_view value) {
  const std::string placeholder = "{" + std::string(name) + "}";
  std::string out(text);
  for (auto at = out.find(placeholder); at != std::string::npos; at = out.find(placeholder, at + value.size()))
    out.replace(at, placeholder.size(), value);
  return out;
}

}  // namespace qelt::bridge::text
