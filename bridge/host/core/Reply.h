// The host's messages to the browser, as JSON text ready to frame.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "Request.h"

namespace qelt::bridge {

std::string ReadyReply(std::string_view version, std::string_view arch, bool managedProxy);
std::string RefusedReply(std::int32_t number, std::string_view reason, std::string_view description);
std::string UnavailableReply(std::int32_t number, std::string_view description);
// JSON whose objects keep their keys in the order written: the tokens'.
using Ordered = nlohmann::ordered_json;

// A result too large for the browser becomes an error reply for its id.
std::string ResultReply(std::optional<std::uint64_t> id, const Json& value);
std::string TokenReply(std::optional<std::uint64_t> id, const Ordered& token);
// id null when the frame had no valid id; reason for the host's own refusals
// of PIN operations.
std::string ErrorReply(std::optional<std::uint64_t> id, std::int32_t number, std::string_view description,
                       std::string_view reason = {});

// A sign-in's or a signature's token, as sites verify it.
Ordered Token(const char* format, std::string_view origin, std::string_view certificate, std::string_view signature,
              unsigned codePage, std::string_view appVersion);

}  // namespace qelt::bridge
