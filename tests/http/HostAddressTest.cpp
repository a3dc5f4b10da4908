#include "HostAddress.h"

#include <gtest/gtest.h>

namespace qelt {
namespace {

TEST(LiteralIpv4, TakesLocalhostAndDottedAddressesWithoutLookup) {
  using Bytes = std::array<uint8_t, 4>;
  EXPECT_EQ(LiteralIpv4("localhost"), (Bytes{127, 0, 0, 1}));
  EXPECT_EQ(LiteralIpv4("LocalHost"), (Bytes{127, 0, 0, 1}));
  EXPECT_EQ(LiteralIpv4("10.0.255.1"), (Bytes{10, 0, 255, 1}));
  EXPECT_EQ(LiteralIpv4("255.255.255.255"), (Bytes{255, 255, 255, 255}));
  for (const char* name : {"val.example", "1.2.3", "1.2.3.4.5", "1.2.3.256", "1..2.3", "1.2.3.4 ",
                           "0001.2.3.4", "", "localhost.example"}) {
    EXPECT_FALSE(LiteralIpv4(name)) << name;
  }
}

}  // namespace
}  // namespace qelt
