#include "Reply.h"

#include "Protocol.h"

namespace qelt::bridge {
namespace {

// Descriptions name what was wrong, sometimes quoting the peer: keep them
// short, cut at a character boundary.
constexpr std::size_t kMaxDescription = 1024;

std::string Clip(std::string_view text) {
  if (text.size() <= kMaxDescription) return std::string(text);
  std::size_t end = kMaxDescription;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return std::string(text.substr(0, end)) + "...";
}

std::string Dump(const Ordered& message) {
  // Text from the control has passed through UTF-16: replace what is not a
  // character rather than fail.
  return message.dump(-1, ' ', false, Ordered::error_handler_t::replace);
}

Ordered IdValue(std::optional<std::uint64_t> id) { return id ? Ordered(*id) : Ordered(nullptr); }

// Results are scalars.
Ordered Scalar(const Json& value) {
  switch (value.type()) {
    case Json::value_t::string: return value.get_ref<const std::string&>();
    case Json::value_t::boolean: return value.get<bool>();
    case Json::value_t::number_integer: return value.get<std::int64_t>();
    case Json::value_t::number_unsigned: return value.get<std::uint64_t>();
    case Json::value_t::number_float: return value.get<double>();
    default: return nullptr;
  }
}

}  // namespace

std::string ReadyReply(std::string_view version, std::string_view arch, bool managedProxy) {
  return Dump({{field::kType, type::kReady},
               {field::kProtocol, kProtocolVersion},
               {field::kVersion, version},
               {field::kArch, arch},
               {field::kManagedProxy, managedProxy},
               {field::kFeatures, {feature::kAuthenticate, feature::kSign, feature::kPinDialog}}});
}

std::string RefusedReply(std::int32_t number, std::string_view reason, std::string_view description) {
  return Dump({{field::kType, type::kRefused},
               {field::kNumber, number},
               {field::kReason, reason},
               {field::kDescription, Clip(description)}});
}

std::string UnavailableReply(std::int32_t number, std::string_view description) {
  return Dump({{field::kType, type::kUnavailable}, {field::kNumber, number}, {field::kDescription, Clip(description)}});
}

std::string ResultReply(std::optional<std::uint64_t> id, const Json& value) {
  return TokenReply(id, Scalar(value));
}

std::string TokenReply(std::optional<std::uint64_t> id, const Ordered& value) {
  const std::string text = Dump({{field::kType, type::kResult}, {field::kId, IdValue(id)}, {field::kValue, value}});
  if (text.size() <= kMaxReplyLength) return text;
  return ErrorReply(id, number::kInsufficientBuffer,
                    "the result (" + std::to_string(text.size()) + " bytes) exceeds the browsers' limit of " +
                        std::to_string(kMaxReplyLength) + " bytes for one message");
}

std::string ErrorReply(std::optional<std::uint64_t> id, std::int32_t number, std::string_view description,
                       std::string_view reason) {
  Ordered reply = {{field::kType, type::kError},
                   {field::kId, IdValue(id)},
                   {field::kNumber, number},
                   {field::kDescription, Clip(description)}};
  if (!reason.empty()) reply[field::kReason] = reason;
  return Dump(reply);
}

Ordered Token(const char* format, std::string_view origin, std::string_view certificate, std::string_view signature,
              unsigned codePage, std::string_view appVersion) {
  return {{"format", format},          {field::kOrigin, origin},
          {"certificate", certificate}, {"signature", signature},
          {"codePage", codePage},       {"appVersion", appVersion}};
}

}  // namespace qelt::bridge
