// The deadline of a whole exchange and the stream that keeps every wait
// within it.
#include "ExchangeDeadline.h"

#include <gtest/gtest.h>

#include "Exception.h"
#include "ScriptedStream.h"

namespace qelt {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;
using test::ScriptedStream;

TEST(Deadline, LeavesWholeMillisecondsRoundedUpAndNoneOncePassed) {
  const Deadline::Clock::time_point start{};
  const Deadline deadline(milliseconds(1000), start);
  const std::pair<Deadline::Clock::duration, int> cases[] = {
      {milliseconds(0), 1000},
      {milliseconds(400), 600},
      {microseconds(999001), 1},
      {milliseconds(1000), 0},
      {milliseconds(90000), 0},
  };
  for (const auto& [elapsed, left] : cases) {
    EXPECT_EQ(deadline.Left(start + elapsed), milliseconds(left)) << elapsed.count();
  }
}

TEST(DeadlineStream, EachWaitGetsTheSmallerOfItsBoundAndTheTimeLeft) {
  const Deadline deadline(milliseconds(5000));
  ScriptedStream inner;
  inner.Then("abcdef");
  DeadlineStream stream(inner, deadline);
  char buffer[3];
  EXPECT_EQ(stream.Read(buffer, 3, milliseconds(60000)), 3u);
  EXPECT_EQ(stream.Read(buffer, 3, milliseconds(2000)), 3u);
  stream.Write("x", 1, milliseconds(60000));
  ASSERT_EQ(inner.readTimeouts.size(), 2u);
  EXPECT_GT(inner.readTimeouts[0], 4000);
  EXPECT_LE(inner.readTimeouts[0], 5000);
  EXPECT_EQ(inner.readTimeouts[1], 2000);
  ASSERT_EQ(inner.writeTimeouts.size(), 1u);
  EXPECT_GT(inner.writeTimeouts[0], 4000);
  EXPECT_LE(inner.writeTimeouts[0], 5000);
}

TEST(DeadlineStream, OncePassedEveryWaitFailsAtOnceAsItsOwnTimeOut) {
  const Deadline passed(milliseconds(1000), Deadline::Clock::now() - milliseconds(1000));
  ScriptedStream inner;
  inner.Then("data");
  DeadlineStream stream(inner, passed);
  char buffer[4];
  try {
    stream.Read(buffer, 4, milliseconds(60000));
    ADD_FAILURE() << "read";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Read Timeout");
  }
  try {
    stream.Write("x", 1, milliseconds(60000));
    ADD_FAILURE() << "written";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Write Timeout");
  }
  EXPECT_TRUE(inner.readTimeouts.empty());
  EXPECT_TRUE(inner.writes.empty());
}

}  // namespace
}  // namespace qelt
