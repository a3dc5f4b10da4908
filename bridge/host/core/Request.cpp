#include "Request.h"

#include <cmath>
#include <limits>

#include "Protocol.h"

namespace qelt::bridge {
namespace {

struct TooDeep {};

// The top-level fields any frame of the protocol has: others are skipped
// while parsing, so a frame spends no memory on what nobody reads.
bool KnownField(const std::string& name) {
  for (const char* known : {field::kType, field::kId, field::kProtocol, field::kOrigin, field::kTopLevel,
                            field::kUserActivation, field::kMember, field::kArgs, field::kValue, field::kChallenge,
                            field::kText})
    if (name == known) return true;
  return false;
}

// What the parser saw beyond what is kept.
struct ParseLimits {
  bool inArgs = false;        // the current top-level field is "args"
  std::size_t arguments = 0;  // elements of "args" so far
  bool tooManyArguments = false;
};

std::string Quoted(const char* name) { return std::string("\"") + name + "\""; }

Request Invalid(std::string problem, std::optional<std::uint64_t> id = std::nullopt) {
  Request request;
  request.problem = std::move(problem);
  request.id = id;
  return request;
}

// An id is a number a page's script counts exactly: an integer 0..2^53.
std::optional<std::uint64_t> ValidId(const Json& value) {
  if (value.is_number_unsigned()) {
    const auto id = value.get<std::uint64_t>();
    if (id <= kMaxId) return id;
  } else if (value.is_number_integer()) {
    const auto id = value.get<std::int64_t>();
    if (id >= 0 && static_cast<std::uint64_t>(id) <= kMaxId) return static_cast<std::uint64_t>(id);
  } else if (value.is_number_float()) {
    const double id = value.get<double>();
    if (id >= 0 && id <= static_cast<double>(kMaxId) && std::floor(id) == id) return static_cast<std::uint64_t>(id);
  }
  return std::nullopt;
}

bool IsScalar(const Json& value) { return !value.is_structured() && !value.is_discarded(); }

// The field, or a problem naming it.
const Json* Field(const Json& message, const char* name, std::string& problem) {
  const auto it = message.find(name);
  if (it == message.end()) {
    problem = "missing field " + Quoted(name);
    return nullptr;
  }
  return &*it;
}

Request DecodeHello(const Json& message) {
  std::string problem;
  Request request;
  request.kind = Request::Kind::kHello;
  const Json* protocol = Field(message, field::kProtocol, problem);
  if (!protocol) return Invalid(problem);
  if (!protocol->is_number_integer()) return Invalid("field \"protocol\" must be an integer");
  const Json* origin = Field(message, field::kOrigin, problem);
  if (!origin) return Invalid(problem);
  if (!origin->is_string()) return Invalid("field \"origin\" must be a string");
  const Json* topLevel = Field(message, field::kTopLevel, problem);
  if (!topLevel) return Invalid(problem);
  if (!topLevel->is_boolean()) return Invalid("field \"topLevel\" must be true or false");
  request.protocol = protocol->is_number_unsigned() && protocol->get<std::uint64_t>() > INT64_MAX
                         ? INT64_MAX
                         : protocol->get<std::int64_t>();
  request.origin = origin->get<std::string>();
  request.topLevel = topLevel->get<bool>();
  return request;
}

bool TooLong(const Json& value) { return value.is_string() && Utf16Units(value.get_ref<const std::string&>()) > kMaxStringUnits; }

const std::string kTooLong = "a text longer than " + std::to_string(kMaxStringUnits) + " characters";

Request DecodeInvocation(const Json& message, Request::Kind kind, std::uint64_t id, bool tooManyArguments) {
  std::string problem;
  Request request;
  request.kind = kind;
  request.id = id;
  const Json* member = Field(message, field::kMember, problem);
  if (!member) return Invalid(problem, id);
  if (!member->is_string()) return Invalid("field \"member\" must be a string", id);
  request.member = member->get<std::string>();
  if (kind == Request::Kind::kCall) {
    const Json* args = Field(message, field::kArgs, problem);
    if (!args) return Invalid(problem, id);
    if (!args->is_array()) return Invalid("field \"args\" must be an array", id);
    if (tooManyArguments) return Invalid("more than " + std::to_string(kMaxArguments) + " arguments", id);
    for (const Json& arg : *args) {
      if (!IsScalar(arg)) return Invalid("an argument must be a string, a number, true, false or null", id);
      if (TooLong(arg)) return Invalid("an argument is " + kTooLong, id);
      request.args.push_back(arg);
    }
  } else {
    const Json* value = Field(message, field::kValue, problem);
    if (!value) return Invalid(problem, id);
    if (!IsScalar(*value)) return Invalid("field \"value\" must be a string, a number, true, false or null", id);
    if (TooLong(*value)) return Invalid("the value is " + kTooLong, id);
    request.args.push_back(*value);
  }
  return request;
}

bool IsChallengeCharacter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/' ||
         c == '=' || c == '-' || c == '_';
}

// A sign-in's challenge or a text to sign; the text's own checks need the
// host's code page and come later.
Request DecodeOperation(const Json& message, Request::Kind kind, std::uint64_t id) {
  std::string problem;
  Request request;
  request.kind = kind;
  request.id = id;
  const char* name = kind == Request::Kind::kAuthenticate ? field::kChallenge : field::kText;
  const Json* text = Field(message, name, problem);
  if (!text) return Invalid(problem, id);
  if (!text->is_string()) return Invalid(std::string("field ") + Quoted(name) + " must be a string", id);
  request.text = text->get<std::string>();
  if (kind == Request::Kind::kAuthenticate) {
    const std::size_t length = request.text.size();
    bool plain = true;
    for (const char c : request.text) plain = plain && IsChallengeCharacter(c);
    if (!plain || length < kMinChallenge || length > kMaxChallenge)
      return Invalid("the challenge must be " + std::to_string(kMinChallenge) + " to " + std::to_string(kMaxChallenge) +
                         " characters of A-Z, a-z, 0-9, +, /, =, - and _",
                     id);
  }
  return request;
}

}  // namespace

bool IsPinOperation(const Request& request) {
  if (request.kind == Request::Kind::kAuthenticate || request.kind == Request::Kind::kSign) return true;
  return request.kind == Request::Kind::kCall && request.args.empty() &&
         (request.member == "checkPin" || request.member == "checkCard");
}

bool CarriesPin(const Request& request) {
  return request.kind == Request::Kind::kCall && !request.args.empty() &&
         (request.member == "checkPin" || request.member == "checkCard");
}

namespace {

// Whether the person just acted, as the browser says in any frame.
bool Activation(const Json& message, bool& activated) {
  const auto field = message.find(field::kUserActivation);
  if (field == message.end()) return true;
  if (!field->is_boolean()) return false;
  activated = field->get<bool>();
  return true;
}

}  // namespace

Request DecodeRequest(std::string_view payload) {
  if (payload.substr(0, 3) == "\xEF\xBB\xBF") return Invalid("the frame starts with a byte order mark");
  Json message;
  ParseLimits limits;
  try {
    // Depths as the library counts them: the frame's object is at 0, its
    // fields at 1, the elements of "args" at 2.
    message = Json::parse(payload, [&limits](int depth, Json::parse_event_t event, Json& parsed) {
      using Event = Json::parse_event_t;
      if ((event == Event::object_start || event == Event::array_start) && depth >= kMaxJsonDepth) throw TooDeep{};
      if (event == Event::key && depth == 1) {
        const std::string& name = parsed.get_ref<const std::string&>();
        limits.inArgs = name == field::kArgs;
        if (limits.inArgs) limits.arguments = 0;
        return KnownField(name);
      }
      // An element of "args": the ninth and later ones are counted, not kept.
      if (limits.inArgs && depth == 2 &&
          (event == Event::value || event == Event::object_start || event == Event::array_start)) {
        if (++limits.arguments > kMaxArguments) {
          limits.tooManyArguments = true;
          return false;
        }
      }
      return true;
    });
  } catch (const TooDeep&) {
    Request request = Invalid("JSON nested deeper than " + std::to_string(kMaxJsonDepth) + " levels");
    request.fatal = true;
    return request;
  } catch (const Json::parse_error& error) {
    // The library's own text may quote the peer's bytes: say it in our words.
    const std::string what = error.what();
    if (what.find("UTF-8") != std::string::npos) return Invalid("the frame is not valid UTF-8");
    if (payload.empty()) return Invalid("the frame is empty");
    return Invalid("the frame is not valid JSON (at byte " + std::to_string(error.byte) + ")");
  } catch (const Json::out_of_range&) {
    return Invalid("the frame holds a number beyond the range of a double");
  } catch (const Json::exception&) {
    // Whatever else the library may throw is a frame it could not take.
    return Invalid("the frame is not valid JSON");
  }
  // The parser stops at a NUL byte: whatever follows must not slip through.
  if (const auto nul = payload.find('\0'); nul != std::string_view::npos)
    return Invalid("the frame is not valid JSON (at byte " + std::to_string(nul + 1) + ")");
  if (!message.is_object()) return Invalid("the frame is not a JSON object");

  std::optional<std::uint64_t> id;
  const auto idField = message.find(field::kId);
  if (idField != message.end()) {
    id = ValidId(*idField);
    if (!id) return Invalid("field \"id\" must be an integer from 0 to 2^53");
  }
  const auto typeField = message.find(field::kType);
  if (typeField == message.end()) return Invalid("missing field \"type\"", id);
  if (!typeField->is_string()) return Invalid("field \"type\" must be a string", id);
  const std::string type = typeField->get<std::string>();
  bool activated = false;
  if (!Activation(message, activated)) return Invalid("field \"userActivation\" must be true or false", id);
  Request request;
  if (type == type::kHello) {
    request = DecodeHello(message);
  } else if (type == type::kCall || type == type::kPut || type == type::kAuthenticate || type == type::kSign) {
    if (!id) return Invalid("missing field \"id\"");
    if (type == type::kCall || type == type::kPut)
      request = DecodeInvocation(message, type == type::kCall ? Request::Kind::kCall : Request::Kind::kPut, *id,
                                 limits.tooManyArguments);
    else
      request = DecodeOperation(message, type == type::kSign ? Request::Kind::kSign : Request::Kind::kAuthenticate, *id);
  } else {
    return Invalid("unknown type \"" + type + "\"", id);
  }
  if (request.kind != Request::Kind::kInvalid) request.userActivation = activated;
  return request;
}

std::size_t Utf16Units(std::string_view utf8) {
  std::size_t units = 0;
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte & 0xC0) != 0x80) ++units;  // a character starts here
    if ((byte & 0xF8) == 0xF0) ++units;  // beyond the BMP: a surrogate pair
  }
  return units;
}

ArgumentType ClassifyArgument(const Json& scalar) {
  if (scalar.is_string()) return ArgumentType::kString;
  if (scalar.is_boolean()) return ArgumentType::kBool;
  if (scalar.is_number_unsigned())
    return scalar.get<std::uint64_t>() <= static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())
               ? ArgumentType::kInt32
               : ArgumentType::kDouble;
  if (scalar.is_number_integer()) {
    const auto value = scalar.get<std::int64_t>();
    return value >= std::numeric_limits<std::int32_t>::min() && value <= std::numeric_limits<std::int32_t>::max()
               ? ArgumentType::kInt32
               : ArgumentType::kDouble;
  }
  if (scalar.is_number_float()) return ArgumentType::kDouble;
  return ArgumentType::kNull;
}

}  // namespace qelt::bridge
