// Threads whose handles are dropped at once: every body runs, also while earlier threads are ending
// (the pthreads layer lost one now and then in exactly that case).
#include "win/Thread.h"

#include <windows.h>

#include <atomic>
#include <memory>

#include <gtest/gtest.h>

namespace qelt::win {
namespace {

TEST(ThreadTest, EveryBodyRunsWhileOthersEnd) {
  constexpr int kThreads = 5000;
  // Shared with the threads: a thread lost for a while must not outlive it.
  struct Count {
    std::atomic<int> ran{0};
    UniqueHandle allRan{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  };
  const auto count = std::make_shared<Count>();
  for (int i = 0; i < kThreads; ++i) {
    StartThread([count] {
      if (++count->ran == kThreads) ::SetEvent(count->allRan.get());
    });
  }
  EXPECT_EQ(::WaitForSingleObject(count->allRan.get(), 60000), WAIT_OBJECT_0);
  EXPECT_EQ(count->ran.load(), kThreads);
}

TEST(ThreadTest, TheHandleSignalsTheEndAfterTheBodyReleasedItsCaptures) {
  // The caller's copy is gone before the thread looks at it.
  auto shared = std::make_shared<int>(7);
  const std::weak_ptr<int> watch = shared;
  const auto value = std::make_shared<std::atomic<int>>(0);
  const UniqueHandle thread = StartThread([shared, value] {
    ::Sleep(50);
    *value = *shared;
  });
  shared.reset();
  ASSERT_EQ(::WaitForSingleObject(thread.get(), 10000), WAIT_OBJECT_0);
  EXPECT_EQ(value->load(), 7);
  EXPECT_TRUE(watch.expired());
}

}  // namespace
}  // namespace qelt::win
