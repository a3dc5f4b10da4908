// One frame from the browser, decoded and checked: a hello, a call, a put, or
// what was wrong with it.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace qelt::bridge {

using Json = nlohmann::json;

struct Request {
  enum class Kind { kHello, kCall, kPut, kAuthenticate, kSign, kInvalid };
  Kind kind = Kind::kInvalid;
  // The frame's id, when it had a valid one (calls and puts always do).
  std::optional<std::uint64_t> id;

  // kHello
  std::int64_t protocol = 0;
  std::string origin;
  bool topLevel = false;
  // Any frame: the browser's word that the person just acted on the page.
  bool userActivation = false;

  // kCall: the arguments; kPut: one, the value. Scalars only.
  std::string member;
  std::vector<Json> args;

  // kAuthenticate: the challenge; kSign: the text.
  std::string text;

  // kInvalid: why, as the error reply says it. fatal: the connection cannot
  // go on (nesting beyond the bound).
  std::string problem;
  bool fatal = false;
};

Request DecodeRequest(std::string_view payload);

// Operations that ask for the PIN in the host's dialog: a sign-in, a
// signature, or checkPin and checkCard without a PIN.
bool IsPinOperation(const Request& request);
// checkPin or checkCard with the PIN from the page.
bool CarriesPin(const Request& request);

// A UTF-8 text's length as the page's script counts it: UTF-16 code units.
std::size_t Utf16Units(std::string_view utf8);

// How an argument crosses to the control.
enum class ArgumentType { kString, kInt32, kDouble, kBool, kNull };
ArgumentType ClassifyArgument(const Json& scalar);

}  // namespace qelt::bridge
