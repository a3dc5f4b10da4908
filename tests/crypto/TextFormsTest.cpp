// The texts the card operations build from their inputs.
#include <gtest/gtest.h>

#include "InputText.h"
#include "ToBeSignedText.h"

using namespace qelt;

namespace {

TEST(GetTBS, PartsGoInUnchanged) {
  TSignUtility tbs;
  EXPECT_EQ(tbs.GetTBS(), "<TBSHeader></TBSHeader><TBSBody></TBSBody>");
  tbs.header = "<u&>";
  tbs.body = " a&b\r\n";
  EXPECT_EQ(tbs.GetTBS(), "<TBSHeader><u&></TBSHeader><TBSBody> a&b\r\n</TBSBody>");
}

TEST(NormaliseInputText, EveryLineEndsWithCrLf) {
  struct Case { std::string bytes, expected; };
  const Case cases[] = {
      {"", ""},
      {"abc", "abc\r\n"},
      {"a\rb\r", "a\r\nb\r\n"},
      {"a\nb", "a\r\nb\r\n"},
      {"a\r\nb\r\n", "a\r\nb\r\n"},
      {"a\n\rb", "a\r\n\r\nb\r\n"},
      {"a\r\r\nb", "a\r\n\r\nb\r\n"},
      {"\n\n", "\r\n\r\n"},
      {std::string("ab\0cd\r\n", 7), "ab\r\n"},
      {std::string("\0abc", 4), ""},
      {"\xA4\xA4\n", "\xA4\xA4\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(NormaliseInputText(c.bytes), c.expected) << c.bytes;
}

}  // namespace
