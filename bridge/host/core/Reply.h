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
// A result too large for the browser becomes an error reply for its id.
std::string ResultReply(std::optional<std::uint64_t> id, const Json& value);
// id null when the frame had no valid id.
std::string ErrorReply(std::optional<std::uint64_t> id, std::int32_t number, std::string_view description);

}  // namespace qelt::bridge
