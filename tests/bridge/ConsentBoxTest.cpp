// The host's question box: its first second deaf to every answer, No as the
// default, the browser's window as its owner, the host name on a line of its
// own, one dialog of the hosts at a time, and the time-out that closes it.
// The person is played from inside the box's own waits: the box asks
// whether input ended about every 100 ms.
#include "ConsentBox.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "DialogTurn.h"
#include "HostTexts.h"
#include "win/Resources.h"
#include "win/Text.h"

namespace qelt::bridge {
namespace {

HWND FindBox() { return ::FindWindowW(L"#32770", win::Utf8ToWide(text::kBoxTitle).c_str()); }

std::wstring TextOf(HWND window) {
  wchar_t text[1024] = {};
  ::GetWindowTextW(window, text, 1024);
  return text;
}

struct Asked {
  Answer answer;
  int remembered = 0;
  bool rememberedYes = false;
  ULONGLONG tookMs = 0;
};

// The box as it becomes active, before its first check: the test acts at
// once, however busy the machine.
std::function<void(HWND)>* g_onShow = nullptr;

LRESULT CALLBACK WatchActivation(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE && g_onShow) {
    HWND window = reinterpret_cast<HWND>(wParam);
    if (window == FindBox()) (*g_onShow)(window);
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

// Asks about origin; onShow plays the person as the box shows, act on every
// check while it is open, with the time since it showed.
Asked AskPerson(const std::string& origin, HWND owner, const std::function<void(HWND, ULONGLONG)>& act,
                unsigned timeoutMs = 20000, std::function<void(HWND)> onShow = nullptr) {
  ULONGLONG seenAt = 0;
  std::function<void(HWND)> shows = [&](HWND box) {
    if (seenAt) return;
    seenAt = ::GetTickCount64();
    if (onShow) onShow(box);
  };
  g_onShow = &shows;
  const win::UniqueHook hook(::SetWindowsHookExW(WH_CBT, WatchActivation, nullptr, ::GetCurrentThreadId()));
  ConsentBox box(
      [&] {
        HWND shown = FindBox();
        if (shown && ::IsWindowVisible(shown)) {
          shows(shown);
          act(shown, ::GetTickCount64() - seenAt);
        }
        return false;  // the browser stays
      },
      timeoutMs, owner);
  Asked asked{};
  const ULONGLONG started = ::GetTickCount64();
  asked.answer = box.Ask(
      origin, [] { return true; },
      [&](bool yes) {
        ++asked.remembered;
        asked.rememberedYes = yes;
      });
  asked.tookMs = ::GetTickCount64() - started;
  g_onShow = nullptr;
  EXPECT_EQ(FindBox(), nullptr) << "the box is still open";
  return asked;
}

void PostKey(HWND window, WPARAM key, bool down, bool repeat = false) {
  const LPARAM scan = key == VK_RETURN ? 0x1C : 0x39;
  const LPARAM state = down ? (repeat ? 0x40000000 : 0) : 0xC0000000;
  ::PostMessageW(window, down ? WM_KEYDOWN : WM_KEYUP, key, (scan << 16) | 1 | state);
}

TEST(ConsentBoxTest, TheFirstSecondIgnoresEveryAnswerThenAClickCounts) {
  int step = 0;
  const auto showing = [&](HWND box) {
    HWND yes = ::GetDlgItem(box, IDYES), no = ::GetDlgItem(box, IDNO);
    step = 1;
    // However an answer arrives, the box is too young for it.
    ::SendMessageW(box, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), reinterpret_cast<LPARAM>(yes));
    ::SendMessageW(yes, BM_CLICK, 0, 0);
    PostKey(no, VK_RETURN, true);
    PostKey(no, VK_RETURN, false);
    // A press now, released once the second has passed, is no click either.
    ::PostMessageW(yes, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    PostKey(no, VK_SPACE, true);
  };
  const auto later = [&](HWND box, ULONGLONG shownMs) {
    HWND yes = ::GetDlgItem(box, IDYES), no = ::GetDlgItem(box, IDNO);
    if (step == 1 && shownMs >= 1100) {
      ++step;
      ::PostMessageW(yes, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
      PostKey(no, VK_SPACE, false);
      PostKey(no, VK_RETURN, true, true);  // an Enter held since the box came
    } else if (step == 2 && shownMs >= 1400) {
      ++step;  // still open: nothing above answered
      ::SendMessageW(yes, BM_CLICK, 0, 0);
    }
  };
  const Asked asked = AskPerson("https://early.example", nullptr, later, 20000, showing);
  EXPECT_EQ(step, 3) << "the box closed before the late click";
  EXPECT_EQ(asked.answer, Answer::kYes);
  EXPECT_EQ(asked.remembered, 1);
  EXPECT_TRUE(asked.rememberedYes);
}

// No has the focus and is the default: Enter, once the box is a second old,
// says No. Owned by the browser's window, the box stays above that window
// only; on its own it is topmost.
TEST(ConsentBoxTest, NoIsTheDefaultAndTheBrowserWindowOwnsTheBox) {
  const win::UniqueWindow browser(::CreateWindowExW(0, L"STATIC", L"browser", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                                    100, 100, 800, 600, nullptr, nullptr, nullptr, nullptr));
  ASSERT_TRUE(browser);
  for (HWND owner : {HWND{nullptr}, browser.get()}) {
    SCOPED_TRACE(owner ? "owned" : "on its own");
    bool looked = false, pressed = false;
    const Asked asked = AskPerson("https://site.example:8443", owner, [&](HWND box, ULONGLONG seenMs) {
      HWND yes = ::GetDlgItem(box, IDYES), no = ::GetDlgItem(box, IDNO);
      if (!looked) {
        looked = true;
        wchar_t name[16] = {};
        ::GetClassNameW(box, name, 16);
        EXPECT_STREQ(name, L"#32770");
        EXPECT_EQ(TextOf(yes), L"是");
        EXPECT_EQ(TextOf(no), L"否");
        EXPECT_EQ(::GetFocus(), no);
        EXPECT_EQ(LOWORD(::SendMessageW(box, DM_GETDEFID, 0, 0)), IDNO);
        EXPECT_EQ(::GetWindowLongW(yes, GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
        EXPECT_EQ(::GetWindowLongW(no, GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
        EXPECT_EQ(::GetWindow(box, GW_OWNER), owner);
        EXPECT_EQ((::GetWindowLongW(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0, owner == nullptr);
        // Where tools read the text, as in a message box.
        wchar_t text[1024] = {};
        ::GetDlgItemTextW(box, 0xFFFF, text, 1024);
        EXPECT_NE(std::wstring(text).find(L"\r\n    site.example\r\n"), std::wstring::npos) << text;
        EXPECT_NE(std::wstring(text).find(L"https://site.example:8443"), std::wstring::npos) << text;
      } else if (!pressed && seenMs >= 1100) {
        pressed = true;
        PostKey(::GetFocus(), VK_RETURN, true);
        PostKey(::GetFocus(), VK_RETURN, false);
      }
    });
    EXPECT_TRUE(looked && pressed);
    EXPECT_EQ(asked.answer, Answer::kNo);
    EXPECT_EQ(asked.remembered, 1);
    EXPECT_FALSE(asked.rememberedYes);
  }
}

TEST(ConsentBoxTest, TheHostNameStandsOnALineOfItsOwnAboveTheOrigin) {
  const struct {
    const char* origin;
    const char* host;
  } cases[] = {
      {"https://site.example", "site.example"},
      {"https://site.example:8443", "site.example"},
      {"http://[::1]:8080", "[::1]"},
      {"https://[2001:db8::1]", "[2001:db8::1]"},
      {"http://127.0.0.1:3000", "127.0.0.1"},
      {"https://xn--fiqs8s.example", "xn--fiqs8s.example"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(OriginHost(c.origin), c.host) << c.origin;
    const std::string text = ConsentText(c.origin);
    const std::string lines = std::string("網站\r\n\r\n    ") + c.host + "\r\n\r\n（" + c.origin + "）要求使用您的憑證IC卡。";
    EXPECT_EQ(text.rfind(lines, 0), 0u) << text;
  }
}

// While another host's dialog holds the turn, no box shows; the decision is
// asked again once the turn comes, and input ending stops the wait.
TEST(ConsentBoxTest, OneDialogAtATimeAcrossTheHosts) {
  for (const bool inputEnds : {false, true}) {
    SCOPED_TRACE(inputEnds ? "input ends while waiting" : "the other dialog closes");
    HANDLE held = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread other([&] {
      const NamedMutex mutex(kDialogMutexName);
      ::WaitForSingleObject(mutex.get(), INFINITE);
      ::SetEvent(held);
      ::Sleep(800);
      ::ReleaseMutex(mutex.get());
    });
    ::WaitForSingleObject(held, INFINITE);
    ::CloseHandle(held);

    bool sawABox = false;
    const ULONGLONG started = ::GetTickCount64();
    ConsentBox box(
        [&] {
          sawABox = sawABox || FindBox() != nullptr;
          return inputEnds && ::GetTickCount64() - started >= 300;
        },
        20000);
    int asked = 0;
    const Answer answer = box.Ask(
        "https://waits.example", [&] { return ++asked == 1; }, [](bool) {});
    other.join();

    EXPECT_FALSE(sawABox);
    if (inputEnds) {
      EXPECT_EQ(answer, Answer::kInputEnded);
      EXPECT_EQ(asked, 1);
    } else {
      EXPECT_EQ(answer, Answer::kSettledMeanwhile);
      EXPECT_EQ(asked, 2) << "not asked again after the wait";
      EXPECT_GE(::GetTickCount64() - started, 700u);
    }
  }
}

TEST(ConsentBoxTest, UnansweredTheTimeOutClosesItAndNothingIsRemembered) {
  constexpr unsigned kTimeoutMs = 1500;
  bool sawTheBox = false;
  const Asked asked = AskPerson(
      "https://late.example", nullptr, [&](HWND, ULONGLONG) { sawTheBox = true; }, kTimeoutMs);
  EXPECT_EQ(asked.answer, Answer::kNoAnswer);
  EXPECT_TRUE(sawTheBox);
  EXPECT_GE(asked.tookMs, kTimeoutMs - 100);
  EXPECT_LT(asked.tookMs, kTimeoutMs + 10000u) << "closed long after its time-out";
  EXPECT_EQ(asked.remembered, 0);
}

}  // namespace
}  // namespace qelt::bridge
