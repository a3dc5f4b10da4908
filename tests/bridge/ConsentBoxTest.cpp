// The host's question box left unanswered: the time-out closes it, the
// answer is nobody's, and nothing is remembered. (The host waits 60 s; the
// box takes its time-out from the host, so a short one shows the same path.)
#include "ConsentBox.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "HostTexts.h"
#include "win/Text.h"

namespace qelt::bridge {
namespace {

HWND FindBox() { return ::FindWindowW(L"#32770", win::Utf8ToWide(text::kBoxTitle).c_str()); }

TEST(ConsentBoxTest, UnansweredTheTimeOutClosesItAndNothingIsRemembered) {
  constexpr unsigned kTimeoutMs = 1500;
  bool sawTheBox = false;
  ConsentBox box(
      [&] {
        sawTheBox = sawTheBox || FindBox() != nullptr;
        return false;  // the browser stays
      },
      kTimeoutMs);
  int remembered = 0;
  const ULONGLONG started = ::GetTickCount64();
  const Answer answer = box.Ask(
      "https://late.example", [] { return true; }, [&](bool) { ++remembered; });
  const ULONGLONG took = ::GetTickCount64() - started;

  EXPECT_EQ(answer, Answer::kNoAnswer);
  EXPECT_TRUE(sawTheBox);
  EXPECT_GE(took, kTimeoutMs - 100);
  EXPECT_LT(took, kTimeoutMs + 10000u) << "closed long after its time-out";
  EXPECT_EQ(remembered, 0);
  EXPECT_EQ(FindBox(), nullptr) << "the box is still open";
}

}  // namespace
}  // namespace qelt::bridge
