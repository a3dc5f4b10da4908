#include "Base64.h"

#include <gtest/gtest.h>

namespace qelt {
namespace {

TEST(EncodeBase64, MatchesStandardVectors) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},         {"f", "Zg=="},        {"fo", "Zm8="},          {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {"a", "YQ=="},
      {"ab", "YWI="},   {"abc", "YWJj"},
  };
  for (const auto& [input, expected] : cases) EXPECT_EQ(EncodeBase64(input), expected) << input;
}

TEST(EncodeBase64, EncodesZeroAndHighBytesLikeAnyOther) {
  EXPECT_EQ(EncodeBase64(std::string("\0", 1)), "AA==");
  EXPECT_EQ(EncodeBase64(std::string("a\0b", 3)), "YQBi");
  EXPECT_EQ(EncodeBase64(std::string("\0\0\0\0", 4)), "AAAAAA==");
  EXPECT_EQ(EncodeBase64("\xff\xfe\xfd\xfb"), "//79+w==");
}

TEST(EncodeBase64, NeverBreaksLines) {
  const std::string encoded = EncodeBase64(std::string(3000, 'x'));
  EXPECT_EQ(encoded.size(), 4000u);
  EXPECT_EQ(encoded.find_first_of("\r\n"), std::string::npos);
}

}  // namespace
}  // namespace qelt
