// The parameters record: defaults, the computed proxy switch, stored values.
#include <gtest/gtest.h>

#include <climits>

#include "Params.h"

using namespace qelt;

TEST(Params, NewRecordHoldsDefaults) {
  const TParams p;
  EXPECT_EQ(p.opt(), otNone);
  EXPECT_EQ(p.certType(), ccUknown);
  EXPECT_EQ(p.signTyp(), stData);
  EXPECT_EQ(p.proxyPort(), 0);
  for (const std::string* text : {&p.pin(), &p.src(), &p.signfile(), &p.url(), &p.uinfo(),
                                  &p.proxyServer(), &p.proxyUserName(), &p.proxyPassword()})
    EXPECT_TRUE(text->empty());
  EXPECT_FALSE(p.useProsy());
}

TEST(Params, ProxyIsUsedExactlyWhenAServerIsSet) {
  TParams p;
  p.set_proxyPort(8080);
  p.set_proxyUserName("u");
  p.set_proxyPassword("p");
  EXPECT_FALSE(p.useProsy());
  p.set_proxyServer(" ");
  EXPECT_TRUE(p.useProsy());
  p.set_proxyServer("");
  EXPECT_FALSE(p.useProsy());
}

TEST(Params, ValuesAreStoredUnchanged) {
  TParams p;
  for (std::int32_t port : {0, -1, INT32_MIN, INT32_MAX}) {
    p.set_proxyPort(port);
    EXPECT_EQ(p.proxyPort(), port);
  }
  p.set_opt(static_cast<TOpeation>(255));
  EXPECT_EQ(static_cast<int>(p.opt()), 255);
  p.set_src(std::string("a\0b \r\n", 6));
  EXPECT_EQ(p.src(), std::string("a\0b \r\n", 6));
}
