// What a page may have signed: only text the person sees in the dialog
// exactly as the card signs it.
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace qelt::bridge {

// Why the text cannot be signed, naming its first offending character; nothing
// when it can. representable says whether the host's code page holds a
// character exactly (no best fit, no default character). The text is valid
// UTF-8 (the frame's parser saw to that).
std::optional<std::string> SignTextProblem(std::string_view utf8, const std::function<bool(char32_t)>& representable);

}  // namespace qelt::bridge
