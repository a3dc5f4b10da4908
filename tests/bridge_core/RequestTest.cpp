#include "Request.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace qelt::bridge {
namespace {

using Kind = Request::Kind;
constexpr auto kNoId = std::nullopt;

struct DecodeCase {
  std::string payload;
  Kind kind;
  std::optional<std::uint64_t> id;
  std::string problem;  // empty when the frame is valid
  bool fatal = false;
};

std::string Call(const std::string& id) { return R"({"type":"call","id":)" + id + R"(,"member":"m","args":[]})"; }

// Containers nested depth deep in a call's args: the object and args are two of them.
std::string NestedArgs(int depth) {
  return R"({"type":"call","id":4,"member":"m","args":)" + std::string(depth - 1, '[') + "0" +
         std::string(depth - 1, ']') + "}";
}

TEST(DecodeRequest, KindIdAndProblemOfEachFrame) {
  const std::string tooDeep = "JSON nested deeper than 8 levels";
  const std::string badId = "field \"id\" must be an integer from 0 to 2^53";
  const std::string badArg = "an argument must be a string, a number, true, false or null";
  const std::string beyond = "the frame holds a number beyond the range of a double";
  const std::string badChallenge = "the challenge must be 43 to 128 characters of A-Z, a-z, 0-9, +, /, =, - and _";
  const auto challenge = [](const std::string& text) {
    return R"({"type":"authenticate","id":9,"challenge":")" + text + R"("})";
  };
  // A JSON text of n UTF-16 code units: "漢" is one, "😀" two.
  const auto longText = [](std::size_t n) {
    std::string text = "\"";
    for (std::size_t i = 0; i + 2 <= n; i += 2) text += "😀";
    if (n % 2) text += "漢";
    return text + "\"";
  };
  const DecodeCase cases[] = {
      {R"({"type":"hello","protocol":1,"origin":"https://a.example","topLevel":true})", Kind::kHello, kNoId, ""},
      {R"({"type":"call","id":7,"member":"readCard","args":["s",1,-2.5,true,false,null]})", Kind::kCall, 7, ""},
      {R"({"type":"put","id":8,"member":"proxyServer","value":"p.example:8080"})", Kind::kPut, 8, ""},
      {R"({"type":"put","id":8,"member":"proxyServer","value":null})", Kind::kPut, 8, ""},
      {R"({"args":[],"member":"m","id":3,"type":"call"})", Kind::kCall, 3, ""},
      // Not a message at all.
      {"", Kind::kInvalid, kNoId, "the frame is empty"},
      {"[1]", Kind::kInvalid, kNoId, "the frame is not a JSON object"},
      {"\"hello\"", Kind::kInvalid, kNoId, "the frame is not a JSON object"},
      {"null", Kind::kInvalid, kNoId, "the frame is not a JSON object"},
      {"{", Kind::kInvalid, kNoId, "the frame is not valid JSON (at byte 2)"},
      {"{} {}", Kind::kInvalid, kNoId, "the frame is not valid JSON (at byte 4)"},
      // What follows a NUL byte is part of the frame too.
      {std::string("{}\0", 3), Kind::kInvalid, kNoId, "the frame is not valid JSON (at byte 3)"},
      {Call("1") + std::string("\0\xFF}", 3), Kind::kInvalid, kNoId, "the frame is not valid JSON (at byte 46)"},
      {"\xEF\xBB\xBF" + Call("1"), Kind::kInvalid, kNoId, "the frame starts with a byte order mark"},
      {R"({"type":"call","id":1,"member":"r)" "\xFF" R"(","args":[]})", Kind::kInvalid, kNoId, "the frame is not valid UTF-8"},
      {R"({"type":"call","id":1,"member":")" "\xC0\xAF" R"(","args":[]})", Kind::kInvalid, kNoId, "the frame is not valid UTF-8"},
      {R"({"type":"call","id":1,"member":")" "\xED\xA0\x80" R"(","args":[]})", Kind::kInvalid, kNoId, "the frame is not valid UTF-8"},
      {R"({"type":"call","id":1,"member":")" "\xE4\xB8" R"(","args":[]})", Kind::kInvalid, kNoId, "the frame is not valid UTF-8"},
      // Missing fields and wrong types; an invocation keeps its id.
      {R"({"id":5})", Kind::kInvalid, 5, "missing field \"type\""},
      {R"({"type":5,"id":5})", Kind::kInvalid, 5, "field \"type\" must be a string"},
      {R"({"type":"hello","origin":"https://a.example","topLevel":true})", Kind::kInvalid, kNoId, "missing field \"protocol\""},
      {R"({"type":"hello","protocol":"1","origin":"https://a.example","topLevel":true})", Kind::kInvalid, kNoId,
       "field \"protocol\" must be an integer"},
      {R"({"type":"hello","protocol":1.0,"origin":"https://a.example","topLevel":true})", Kind::kInvalid, kNoId,
       "field \"protocol\" must be an integer"},
      {R"({"type":"hello","protocol":1,"topLevel":true})", Kind::kInvalid, kNoId, "missing field \"origin\""},
      {R"({"type":"hello","protocol":1,"origin":null,"topLevel":true})", Kind::kInvalid, kNoId, "field \"origin\" must be a string"},
      {R"({"type":"hello","protocol":1,"origin":"https://a.example"})", Kind::kInvalid, kNoId, "missing field \"topLevel\""},
      {R"({"type":"hello","protocol":1,"origin":"https://a.example","topLevel":1})", Kind::kInvalid, kNoId,
       "field \"topLevel\" must be true or false"},
      {R"({"type":"call","member":"m","args":[]})", Kind::kInvalid, kNoId, "missing field \"id\""},
      {R"({"type":"call","id":6,"args":[]})", Kind::kInvalid, 6, "missing field \"member\""},
      {R"({"type":"call","id":6,"member":["m"],"args":[]})", Kind::kInvalid, 6, "field \"member\" must be a string"},
      {R"({"type":"call","id":6,"member":"m"})", Kind::kInvalid, 6, "missing field \"args\""},
      {R"({"type":"call","id":6,"member":"m","args":"x"})", Kind::kInvalid, 6, "field \"args\" must be an array"},
      {R"({"type":"call","id":6,"member":"m","args":{}})", Kind::kInvalid, 6, "field \"args\" must be an array"},
      {R"({"type":"call","id":6,"member":"m","args":[1,[2]]})", Kind::kInvalid, 6, badArg},
      {R"({"type":"call","id":6,"member":"m","args":[{}]})", Kind::kInvalid, 6, badArg},
      {R"({"type":"put","id":6,"member":"m"})", Kind::kInvalid, 6, "missing field \"value\""},
      {R"({"type":"put","id":6,"member":"m","value":[]})", Kind::kInvalid, 6,
       "field \"value\" must be a string, a number, true, false or null"},
      // Ids: integers 0..2^53, an integral float taken too.
      {Call("0"), Kind::kCall, 0, ""},
      {Call("9007199254740992"), Kind::kCall, 9007199254740992u, ""},
      {Call("4.0"), Kind::kCall, 4, ""},
      {Call("1e3"), Kind::kCall, 1000, ""},
      {Call("-0.0"), Kind::kCall, 0, ""},
      {Call("-1"), Kind::kInvalid, kNoId, badId},
      {Call("9007199254740993"), Kind::kInvalid, kNoId, badId},
      {Call("18446744073709551616"), Kind::kInvalid, kNoId, badId},
      {Call("1e300"), Kind::kInvalid, kNoId, badId},
      {Call("\"1\""), Kind::kInvalid, kNoId, badId},
      {Call("1.5"), Kind::kInvalid, kNoId, badId},
      {Call("null"), Kind::kInvalid, kNoId, badId},
      {Call("true"), Kind::kInvalid, kNoId, badId},
      // Unknown types: the id is kept when it is valid.
      {R"({"type":"ping","id":3})", Kind::kInvalid, 3, "unknown type \"ping\""},
      {R"({"type":"Call","id":3,"member":"m","args":[]})", Kind::kInvalid, 3, "unknown type \"Call\""},
      {R"({"type":"ping"})", Kind::kInvalid, kNoId, "unknown type \"ping\""},
      {R"({"type":"ping","id":-3})", Kind::kInvalid, kNoId, badId},
      // Nesting: 8 levels are an ordinary bad frame, 9 end the connection.
      {NestedArgs(8), Kind::kInvalid, 4, badArg},
      {NestedArgs(9), Kind::kInvalid, kNoId, tooDeep, true},
      {std::string(8, '[') + std::string(8, ']'), Kind::kInvalid, kNoId, "the frame is not a JSON object"},
      {std::string(9, '[') + std::string(9, ']'), Kind::kInvalid, kNoId, tooDeep, true},
      {R"({"a":{"b":{"c":{"d":{"e":{"f":{"g":{"h":1}}}}}}}})", Kind::kInvalid, kNoId, "missing field \"type\""},
      {R"({"a":{"b":{"c":{"d":{"e":{"f":{"g":{"h":{}}}}}}}}})", Kind::kInvalid, kNoId, tooDeep, true},
      {std::string(100000, '['), Kind::kInvalid, kNoId, tooDeep, true},
      // Numbers beyond a double are bad frames, never the end of the host.
      {"[1e400]", Kind::kInvalid, kNoId, beyond},
      {R"({"type":"call","id":5,"member":"m","args":[-1e400]})", Kind::kInvalid, kNoId, beyond},
      {R"({"type":"call","id":5,"member":"m","args":[1e-400,1.7976931348623157e308,18446744073709551616]})",
       Kind::kCall, 5, ""},
      // What one call may carry; the id is kept wherever it stands.
      {R"({"type":"call","id":5,"member":"m","args":[1,2,3,4,5,6,7,8]})", Kind::kCall, 5, ""},
      {R"({"type":"call","member":"m","args":[1,2,3,4,5,6,7,8,9],"id":5})", Kind::kInvalid, 5, "more than 8 arguments"},
      {R"({"type":"call","id":5,"member":"m","args":[[],{},3,4,5,6,7,8,[9]]})", Kind::kInvalid, 5,
       "more than 8 arguments"},
      {R"({"type":"call","id":5,"member":"m","args":[)" + longText(4096) + "]}", Kind::kCall, 5, ""},
      {R"({"type":"call","id":5,"member":"m","args":[)" + longText(4097) + "]}", Kind::kInvalid, 5,
       "an argument is a text longer than 4096 characters"},
      {R"({"type":"put","id":6,"member":"m","value":)" + longText(4097) + "}", Kind::kInvalid, 6,
       "the value is a text longer than 4096 characters"},
      // Fields nobody reads are skipped, whatever they hold.
      {R"({"type":"call","id":5,"member":"m","args":[],"x":[1,2,3,4,5,6,7,8,9,10]})", Kind::kCall, 5, ""},
      // Sign-in challenges: Base64 or Base64url of at least 32 bytes, checked before any dialog.
      {challenge(std::string(43, 'A')), Kind::kAuthenticate, 9, ""},
      {challenge("aZ09+/=-_" + std::string(119, 'x')), Kind::kAuthenticate, 9, ""},
      {challenge(std::string(42, 'A')), Kind::kInvalid, 9, badChallenge},
      {challenge(std::string(129, 'A')), Kind::kInvalid, 9, badChallenge},
      {challenge(std::string(42, 'A') + "!"), Kind::kInvalid, 9, badChallenge},
      {challenge(std::string(42, 'A') + "漢"), Kind::kInvalid, 9, badChallenge},
      {R"({"type":"authenticate","id":9,"challenge":43})", Kind::kInvalid, 9, "field \"challenge\" must be a string"},
      {R"({"type":"authenticate","challenge":"x"})", Kind::kInvalid, kNoId, "missing field \"id\""},
      {R"({"type":"sign","id":10,"text":"十"})", Kind::kSign, 10, ""},
      {R"({"type":"sign","id":10})", Kind::kInvalid, 10, "missing field \"text\""},
      {R"({"type":"call","id":11,"member":"checkPin","args":[],"userActivation":"yes"})", Kind::kInvalid, 11,
       "field \"userActivation\" must be true or false"},
      // userActivation: absent is false; anything but true or false is a bad hello.
      {R"({"type":"hello","protocol":1,"origin":"https://a.example","topLevel":true,"userActivation":1})", Kind::kInvalid,
       kNoId, "field \"userActivation\" must be true or false"},
  };
  for (const DecodeCase& c : cases) {
    SCOPED_TRACE(c.payload.size() > 200 ? c.payload.substr(0, 200) + "..." : c.payload);
    const Request request = DecodeRequest(c.payload);
    EXPECT_EQ(request.kind, c.kind);
    EXPECT_EQ(request.id, c.id);
    EXPECT_EQ(request.problem, c.problem);
    EXPECT_EQ(request.fatal, c.fatal);
  }
}

TEST(DecodeRequest, KeepsWhatTheHelloAndTheCallsCarry) {
  const Request hello = DecodeRequest(R"({"type":"hello","protocol":1,"origin":"https://a.example","topLevel":false})");
  EXPECT_EQ(hello.protocol, 1);
  EXPECT_EQ(hello.origin, "https://a.example");
  EXPECT_FALSE(hello.topLevel);
  EXPECT_FALSE(hello.userActivation);
  EXPECT_TRUE(DecodeRequest(R"({"type":"hello","protocol":1,"origin":"o","topLevel":true,"userActivation":true})")
                  .userActivation);

  const Request call = DecodeRequest(R"({"type":"call","id":7,"member":"readCard","args":["s",1,-2.5,true,null]})");
  EXPECT_EQ(call.member, "readCard");
  ASSERT_EQ(call.args.size(), 5u);
  EXPECT_EQ(Json(call.args), Json::parse(R"(["s",1,-2.5,true,null])"));

  const Request put = DecodeRequest(R"({"type":"put","id":8,"member":"proxyServer","value":"p.example:8080"})");
  EXPECT_EQ(put.member, "proxyServer");
  ASSERT_EQ(put.args.size(), 1u);
  EXPECT_EQ(put.args[0], "p.example:8080");
}

TEST(DecodeRequest, AProtocolNumberNeverWrapsToTheOneSpoken) {
  // Beyond 64 bits the number is a float: no integer at all.
  const std::pair<const char*, std::optional<std::int64_t>> cases[] = {
      {"2", 2}, {"0", 0}, {"-1", -1}, {"4294967297", 4294967297}, {"9223372036854775808", INT64_MAX},
      {"18446744073709551615", INT64_MAX}, {"18446744073709551617", std::nullopt}};
  for (const auto& [text, protocol] : cases) {
    SCOPED_TRACE(text);
    const Request hello =
        DecodeRequest(std::string(R"({"type":"hello","origin":"https://a.example","topLevel":true,"protocol":)") + text + "}");
    EXPECT_EQ(hello.kind, protocol ? Kind::kHello : Kind::kInvalid);
    if (protocol) {
      EXPECT_EQ(hello.protocol, *protocol);
    }
  }
}

TEST(ClassifyArgument, ThirtyTwoBitIntegersOnlyCrossAsIntegers) {
  const std::pair<const char*, ArgumentType> cases[] = {
      {"0", ArgumentType::kInt32},
      {"2147483647", ArgumentType::kInt32},
      {"2147483648", ArgumentType::kDouble},
      {"-2147483648", ArgumentType::kInt32},
      {"-2147483649", ArgumentType::kDouble},
      {"18446744073709551615", ArgumentType::kDouble},
      {"1.5", ArgumentType::kDouble},
      {"4.0", ArgumentType::kDouble},
      {"true", ArgumentType::kBool},
      {"false", ArgumentType::kBool},
      {"null", ArgumentType::kNull},
      {"\"s\"", ArgumentType::kString},
      {"\"\"", ArgumentType::kString},
  };
  for (const auto& [text, type] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(ClassifyArgument(Json::parse(text)), type);
  }
}

}  // namespace
}  // namespace qelt::bridge
