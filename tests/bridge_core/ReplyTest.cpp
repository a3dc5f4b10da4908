#include "Reply.h"

#include <gtest/gtest.h>

#include <string>

#include "Protocol.h"

namespace qelt::bridge {
namespace {

constexpr std::uint64_t kLargestId = std::uint64_t{1} << 53;
const std::string kReplacement = "\xEF\xBF\xBD";  // U+FFFD

TEST(Reply, ExactTextOfEachKind) {
  const std::pair<std::string, std::string> cases[] = {
      {ReadyReply("3.0.1.0", "x64", false),
       R"({"type":"ready","protocol":1,"version":"3.0.1.0","arch":"x64","managedProxy":false,"features":["authenticate","sign","pinDialog"]})"},
      {ReadyReply("3.0.1.0", "x86", true),
       R"({"type":"ready","protocol":1,"version":"3.0.1.0","arch":"x86","managedProxy":true,"features":["authenticate","sign","pinDialog"]})"},
      {RefusedReply(number::kAccessDenied, "policy", "網站 https://a.example"),
       R"({"type":"refused","number":-2147024891,"reason":"policy","description":"網站 https://a.example"})"},
      {UnavailableReply(-2147221164, "Class not registered"),
       R"({"type":"unavailable","number":-2147221164,"description":"Class not registered"})"},
      {ErrorReply(std::nullopt, number::kInvalidArg, "x"),
       R"({"type":"error","id":null,"number":-2147024809,"description":"x"})"},
      {ErrorReply(kLargestId, number::kUnexpected, "PinCode錯誤"),
       R"({"type":"error","id":9007199254740992,"number":-2147418113,"description":"PinCode錯誤"})"},
      {ErrorReply(0, 0, "quote \" backslash \\ line\r\n tab\t \x01"),
       R"({"type":"error","id":0,"number":0,"description":"quote \" backslash \\ line\r\n tab\t \u0001"})"},
      {ResultReply(5, "abc"), R"({"type":"result","id":5,"value":"abc"})"},
      {ResultReply(5, ""), R"({"type":"result","id":5,"value":""})"},
      {ResultReply(5, nullptr), R"({"type":"result","id":5,"value":null})"},
      {ResultReply(5, true), R"({"type":"result","id":5,"value":true})"},
      {ResultReply(5, -7), R"({"type":"result","id":5,"value":-7})"},
      {ResultReply(5, std::uint64_t{4294967296}), R"({"type":"result","id":5,"value":4294967296})"},
      {ResultReply(5, 1.5), R"({"type":"result","id":5,"value":1.5})"},
      {ResultReply(kLargestId, 0), R"({"type":"result","id":9007199254740992,"value":0})"},
      // Only scalars are results.
      {ResultReply(5, Json::array({1})), R"({"type":"result","id":5,"value":null})"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(text, expected);
}

TEST(Reply, TextThatIsNotUtf8IsReplacedNotThrown) {
  const std::pair<std::string, std::string> cases[] = {
      {ResultReply(1, "a\xFFz"), R"({"type":"result","id":1,"value":"a)" + kReplacement + R"(z"})"},
      {ResultReply(1, "\xE4\xB8"), R"({"type":"result","id":1,"value":")" + kReplacement + R"("})"},
      {ErrorReply(1, 0, "\xC0\xAF"), R"({"type":"error","id":1,"number":0,"description":")" + kReplacement + kReplacement + R"("})"},
      {RefusedReply(number::kAccessDenied, "origin", "https://\xFF"),
       R"({"type":"refused","number":-2147024891,"reason":"origin","description":"https://)" + kReplacement + R"("})"},
      {UnavailableReply(1, "\x80"), R"({"type":"unavailable","number":1,"description":")" + kReplacement + R"("})"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(text, expected);
}

TEST(Reply, DescriptionsAreClippedAtACharacter) {
  const std::string a1023(1023, 'a');
  const std::pair<std::string, std::string> cases[] = {
      {std::string(1024, 'a'), std::string(1024, 'a')},
      {std::string(1025, 'a'), std::string(1024, 'a') + "..."},
      {a1023 + "中b", a1023 + "..."},  // 中 takes bytes 1023 to 1025
      {a1023 + "b中", a1023 + "b..."},
  };
  for (const auto& [description, clipped] : cases) {
    EXPECT_EQ(ErrorReply(std::nullopt, 0, description),
              R"({"type":"error","id":null,"number":0,"description":")" + clipped + R"("})");
  }
}

struct SizeCase {
  const char* name;
  std::uint64_t id;
  std::string value;
  std::size_t replySize;  // of the result: more than the limit turns it into the error
};

TEST(Reply, AResultOverTheBrowsersLimitBecomesAnErrorForItsId) {
  // {"type":"result","id":1,"value":""} is 35 bytes; the limit counts the text as sent.
  const SizeCase cases[] = {
      {"plain, exactly the limit", 1, std::string(1048541, 'x'), 1048576},
      {"plain, one over", 1, std::string(1048542, 'x'), 1048577},
      {"a longer id counts", kLargestId, std::string(1048526, 'x'), 1048576},
      {"a longer id counts, one over", kLargestId, std::string(1048527, 'x'), 1048577},
      {"escapes count twice", 1, std::string(524270, '"'), 1048575},
      {"escapes count twice, over", 1, std::string(524271, '"'), 1048577},
      {"replacements count thrice", 1, std::string(349513, '\xFF'), 1048574},
      {"replacements count thrice, over", 1, std::string(349514, '\xFF'), 1048577},
  };
  for (const SizeCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string reply = ResultReply(c.id, c.value);
    if (c.replySize <= kMaxReplyLength) {
      EXPECT_EQ(reply.size(), c.replySize);
      EXPECT_EQ(reply.rfind(R"({"type":"result",)", 0), 0u);
    } else {
      EXPECT_EQ(reply, R"({"type":"error","id":)" + std::to_string(c.id) +
                           R"(,"number":-2147024774,"description":"the result ()" + std::to_string(c.replySize) +
                           R"( bytes) exceeds the browsers' limit of 1048576 bytes for one message"})");
    }
  }
}

}  // namespace
}  // namespace qelt::bridge
