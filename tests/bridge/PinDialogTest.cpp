// The PIN dialog: OK ignored in its first second and with an empty field,
// the PINs the caller's check receives, three wrong PINs, the ways to
// cancel, the time-out, the end of input, its texts and owner, and the turn
// it shares with the consent box. The person is played from inside the
// dialog's own waits: it asks whether input ended about every 50 ms.
#include "PinDialog.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "DialogTurn.h"
#include "PinTexts.h"
#include "win/Resources.h"
#include "win/Text.h"

namespace qelt::bridge {
namespace {

const std::wstring kWrong = win::Utf8ToWide(text::kPinWrong);

HWND FindDialog() { return ::FindWindowW(L"#32770", win::Utf8ToWide(text::kPinTitle).c_str()); }

std::wstring TextOf(HWND window) {
  std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<size_t>(::GetWindowTextW(window, &text[0], static_cast<int>(text.size()))));
  return text;
}

// The child of the given class whose style has all of the bits given.
HWND Child(HWND dialog, const wchar_t* className, LONG style) {
  for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    wchar_t name[32] = {};
    ::GetClassNameW(child, name, 32);
    if (_wcsicmp(name, className) == 0 && (::GetWindowLongW(child, GWL_STYLE) & style) == style) return child;
  }
  return nullptr;
}

HWND PinField(HWND dialog) { return Child(dialog, L"Edit", ES_PASSWORD); }

bool ShowsWrongPin(HWND dialog) {
  for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
    if (TextOf(child) == kWrong) return true;
  return false;
}

WORD DefaultId(HWND dialog) { return LOWORD(::SendMessageW(dialog, DM_GETDEFID, 0, 0)); }

void PostKey(HWND window, WPARAM key, bool down) {
  const LPARAM scan = key == VK_RETURN ? 0x1C : key == VK_ESCAPE ? 0x01 : 0x39;
  ::PostMessageW(window, down ? WM_KEYDOWN : WM_KEYUP, key, (scan << 16) | 1 | (down ? 0 : 0xC0000000));
}

void PressKey(HWND window, WPARAM key) {
  PostKey(window, key, true);
  PostKey(window, key, false);
}

void Click(HWND dialog, int id) { ::SendMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

struct Asked {
  PinResult result;
  std::vector<std::wstring> pins;  // what the check received, in order
  ULONGLONG tookMs = 0;
  ULONGLONG returnedAt = 0;
};

// The dialog as it becomes active, before its first check.
std::function<void(HWND)>* g_onShow = nullptr;
// What the PIN field held as it went: -1 until it did.
int g_fieldLengthAtEnd = -1;

LRESULT CALLBACK WatchActivation(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE && g_onShow) {
    HWND window = reinterpret_cast<HWND>(wParam);
    if (window == FindDialog()) (*g_onShow)(window);
  }
  if (code == HCBT_DESTROYWND) {
    HWND window = reinterpret_cast<HWND>(wParam);
    if (window == FindDialog()) g_fieldLengthAtEnd = ::GetWindowTextLengthW(PinField(window));
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

// Asks for a PIN; onShow plays the person as the dialog shows, act on every
// check while it is open, with the time since it showed, and says whether
// input ended. The check takes "1234" and refuses every other PIN; inTry
// looks at the dialog while the check runs.
Asked AskPin(const PinRequest& request, HWND owner, const std::function<bool(HWND, ULONGLONG)>& act,
             unsigned timeoutMs = 20000, std::function<void(HWND)> onShow = nullptr,
             std::function<void(HWND)> inTry = nullptr) {
  ULONGLONG seenAt = 0;
  std::function<void(HWND)> shows = [&](HWND dialog) {
    if (seenAt) return;
    seenAt = ::GetTickCount64();
    if (onShow) onShow(dialog);
  };
  g_onShow = &shows;
  const win::UniqueHook hook(::SetWindowsHookExW(WH_CBT, WatchActivation, nullptr, ::GetCurrentThreadId()));
  PinDialog dialog(
      [&] {
        HWND shown = FindDialog();
        if (!shown || !::IsWindowVisible(shown)) return false;
        shows(shown);
        return act(shown, ::GetTickCount64() - seenAt);
      },
      owner, timeoutMs);
  Asked asked{};
  const ULONGLONG started = ::GetTickCount64();
  g_fieldLengthAtEnd = -1;
  asked.result = dialog.Ask(request, [&](std::wstring& pin) {
    asked.pins.push_back(pin);
    if (inTry) inTry(FindDialog());
    return PinTry{pin != L"1234"};
  });
  asked.returnedAt = ::GetTickCount64();
  asked.tookMs = asked.returnedAt - started;
  g_onShow = nullptr;
  // The dialog goes as soon as its thread waits again, its field wiped first.
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
  EXPECT_EQ(FindDialog(), nullptr) << "the dialog is still open";
  if (seenAt) EXPECT_EQ(g_fieldLengthAtEnd, 0) << "the field still held the PIN as the dialog went";
  return asked;
}

const PinRequest kSignIn{"https://site.example:8443", PinPurpose::kSignIn, "", ""};

TEST(PinDialogTest, OkDoesNothingInTheFirstSecondNorWithAnEmptyField) {
  int step = 0;
  const auto showing = [&](HWND dialog) {
    EXPECT_EQ(DefaultId(dialog), IDCANCEL);
    // Typed and confirmed at once: too young for either.
    ::SetWindowTextW(PinField(dialog), L"9999");
    ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, IDOK)));
    Click(dialog, IDOK);
    PressKey(PinField(dialog), VK_RETURN);
    EXPECT_EQ(DefaultId(dialog), IDCANCEL) << "OK the default in the first second";
    step = 1;
  };
  const auto later = [&](HWND dialog, ULONGLONG shownMs) {
    HWND field = PinField(dialog);
    if (step == 1 && shownMs >= 1100) {
      ++step;
      EXPECT_EQ(TextOf(field), L"9999");
      ::SetWindowTextW(field, L"");
      EXPECT_EQ(DefaultId(dialog), IDCANCEL) << "OK the default with an empty field";
      Click(dialog, IDOK);
    } else if (step == 2 && shownMs >= 1300) {
      ++step;  // still open: nothing above confirmed a PIN
      ::SetWindowTextW(field, L"1234");
      EXPECT_EQ(DefaultId(dialog), IDOK);
      PressKey(field, VK_RETURN);
    }
    return false;
  };
  const Asked asked = AskPin(kSignIn, nullptr, later, 20000, showing);
  EXPECT_EQ(step, 3) << "the dialog closed before the PIN was confirmed";
  EXPECT_EQ(asked.result, PinResult::kDone);
  EXPECT_EQ(asked.pins, std::vector<std::wstring>{L"1234"});
}

// A wrong PIN keeps the dialog open with the toolkit's message and an empty
// field, Cancel the default again; the third closes it.
TEST(PinDialogTest, WrongPinsKeepItOpenUntilTheThird) {
  const struct {
    std::vector<std::wstring> typed;
    PinResult result;
  } cases[] = {
      {{L"0000", L"1234"}, PinResult::kDone},
      {{L"0000", L"12345", L"1111"}, PinResult::kTooManyWrong},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.typed.size() << " PINs");
    size_t next = 0;
    int checked = 0;
    const Asked asked = AskPin(
        kSignIn, nullptr,
        [&](HWND dialog, ULONGLONG shownMs) {
          if (shownMs < 1100 || next >= c.typed.size()) return false;
          EXPECT_EQ(ShowsWrongPin(dialog), next > 0);
          ::SetWindowTextW(PinField(dialog), c.typed[next++].c_str());
          Click(dialog, IDOK);  // returns once the check answered
          if (next < c.typed.size()) {
            ++checked;
            EXPECT_TRUE(::IsWindowVisible(dialog));
            EXPECT_TRUE(ShowsWrongPin(dialog));
            EXPECT_EQ(::GetWindowTextLengthW(PinField(dialog)), 0);
            EXPECT_EQ(DefaultId(dialog), IDCANCEL);
          }
          return false;
        },
        20000, nullptr, [](HWND dialog) { EXPECT_FALSE(ShowsWrongPin(dialog)) << "an old answer during the check"; });
    EXPECT_EQ(asked.result, c.result);
    EXPECT_EQ(asked.pins, c.typed);
    EXPECT_EQ(checked, static_cast<int>(c.typed.size()) - 1);
  }
}

TEST(PinDialogTest, CancelEscapeAndClosingCancelEvenInTheFirstSecond) {
  const struct {
    const char* how;
    std::function<void(HWND)> early;
    std::function<void(HWND)> late;
  } cases[] = {
      {"Cancel", nullptr, [](HWND dialog) { Click(dialog, IDCANCEL); }},
      {"Escape at once", [](HWND dialog) { PressKey(PinField(dialog), VK_ESCAPE); }, nullptr},
      {"Escape with a PIN typed", nullptr,
       [](HWND dialog) {
         ::SetWindowTextW(PinField(dialog), L"1234");
         PressKey(PinField(dialog), VK_ESCAPE);
       }},
      {"the window closed", nullptr, [](HWND dialog) { ::PostMessageW(dialog, WM_CLOSE, 0, 0); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    bool acted = false;
    const Asked asked = AskPin(
        kSignIn, nullptr,
        [&](HWND dialog, ULONGLONG shownMs) {
          if (c.late && !acted && shownMs >= 1100) {
            acted = true;
            c.late(dialog);
          }
          return false;
        },
        20000, c.early);
    EXPECT_EQ(asked.result, PinResult::kCancelled);
    EXPECT_TRUE(asked.pins.empty());
    if (c.early) {
      EXPECT_LT(asked.tookMs, 1000u) << "Escape waited for the first second";
    }
  }
}

TEST(PinDialogTest, UnansweredTheTimeOutClosesIt) {
  constexpr unsigned kTimeoutMs = 1500;
  bool sawTheDialog = false;
  const Asked asked = AskPin(
      kSignIn, nullptr, [&](HWND, ULONGLONG) { return sawTheDialog = true, false; }, kTimeoutMs);
  EXPECT_EQ(asked.result, PinResult::kTimedOut);
  EXPECT_TRUE(sawTheDialog);
  EXPECT_GE(asked.tookMs, kTimeoutMs - 100);
  EXPECT_LT(asked.tookMs, kTimeoutMs + 10000u) << "closed long after its time-out";
}

// Input's end is noticed within 0.1 s: the dialog asks at least that often
// (the median gap between checks, as a busy machine delays a few), and
// closes as soon as it hears it.
TEST(PinDialogTest, TheEndOfInputClosesItWithinATenthOfASecond) {
  std::vector<ULONGLONG> checks;
  ULONGLONG endedAt = 0;
  const Asked asked = AskPin(kSignIn, nullptr, [&](HWND dialog, ULONGLONG shownMs) {
    checks.push_back(::GetTickCount64());
    if (shownMs < 1500) return false;
    ::SetWindowTextW(PinField(dialog), L"1234");  // typed, not confirmed
    endedAt = ::GetTickCount64();
    return true;
  });
  EXPECT_EQ(asked.result, PinResult::kInputEnded);
  EXPECT_TRUE(asked.pins.empty());
  ASSERT_GE(checks.size(), 3u);
  std::vector<ULONGLONG> gaps;
  for (size_t i = 1; i < checks.size(); ++i) gaps.push_back(checks[i] - checks[i - 1]);
  std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
  EXPECT_LE(gaps[gaps.size() / 2], 100u);
  EXPECT_LE(asked.returnedAt - endedAt, 50u);
}

// What the person reads, per purpose; the browser's window as the owner, or
// topmost on its own.
TEST(PinDialogTest, TheSiteThePurposeTheTextAndTheOwner) {
  const win::UniqueWindow browser(::CreateWindowExW(0, L"STATIC", L"browser", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                                    100, 100, 800, 600, nullptr, nullptr, nullptr, nullptr));
  ASSERT_TRUE(browser);
  const std::string longText = std::string("第一行\n第二行\r\n\n\t縮排 & <b>") + std::string(3000, 'x');
  const struct {
    PinRequest request;
    HWND owner;
    const char* host;
    const char* purpose;
    std::wstring shownText;  // the text to sign as the field shows it
  } cases[] = {
      {{"https://site.example:8443", PinPurpose::kSignIn, "", "王小明"}, nullptr, "site.example", text::kPinForSignIn,
       L""},
      {{"http://[::1]:8080", PinPurpose::kSign, longText, ""},
       browser.get(),
       "[::1]",
       text::kPinForSign,
       L"第一行\r\n第二行\r\n\r\n\t縮排 & <b>" + std::wstring(3000, L'x')},
      {{"https://xn--fiqs8s.example", PinPurpose::kPinCheck, "", "陳&大文"}, browser.get(),
       "xn--fiqs8s.example", text::kPinForCheck, L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.request.origin);
    bool looked = false;
    const Asked asked = AskPin(c.request, c.owner, [&](HWND dialog, ULONGLONG) {
      looked = true;
      const std::wstring text = TextOf(::GetDlgItem(dialog, 0xFFFF));
      const auto has = [&](const std::string& part) {
        return text.find(win::Utf8ToWide(part)) != std::wstring::npos;
      };
      EXPECT_TRUE(has(std::string("\r\n    ") + c.host + "\r\n")) << text;
      EXPECT_TRUE(has(c.request.origin)) << text;
      EXPECT_TRUE(has(c.purpose)) << text;
      EXPECT_EQ(has(text::kPinCertificateSent), c.request.purpose != PinPurpose::kPinCheck) << text;
      EXPECT_EQ(has("持卡人：" + c.request.holder), !c.request.holder.empty())
          << text;

      HWND shown = Child(dialog, L"Edit", ES_MULTILINE | ES_READONLY | WS_VSCROLL);
      EXPECT_EQ(shown != nullptr, c.request.purpose == PinPurpose::kSign);
      if (shown) {
        EXPECT_EQ(TextOf(shown), c.shownText);
      }

      HWND field = PinField(dialog);
      EXPECT_NE(field, nullptr);
      EXPECT_EQ(::SendMessageW(field, EM_GETLIMITTEXT, 0, 0), 64);
      EXPECT_EQ(::GetFocus(), field);
      EXPECT_EQ(TextOf(::GetDlgItem(dialog, IDOK)), L"確定");
      EXPECT_EQ(TextOf(::GetDlgItem(dialog, IDCANCEL)), L"取消");
      EXPECT_EQ(::GetWindowLongW(::GetDlgItem(dialog, IDCANCEL), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
      EXPECT_EQ(::GetWindow(dialog, GW_OWNER), c.owner);
      EXPECT_EQ((::GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0, c.owner == nullptr);
      return true;  // seen enough: input ends
    });
    EXPECT_TRUE(looked);
    EXPECT_EQ(asked.result, PinResult::kInputEnded);
  }
}

// While another host's dialog holds the turn, no PIN dialog shows; input
// ending stops the wait.
TEST(PinDialogTest, OneDialogAtATimeAcrossTheHosts) {
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

    const ULONGLONG started = ::GetTickCount64();
    ULONGLONG firstSeenMs = 0;
    PinDialog dialog(
        [&] {
          const ULONGLONG now = ::GetTickCount64() - started;
          if (!firstSeenMs && FindDialog()) firstSeenMs = now;
          return firstSeenMs != 0 || (inputEnds && now >= 300);
        },
        nullptr);
    int tries = 0;
    const PinResult result = dialog.Ask(kSignIn, [&](std::wstring&) { return ++tries, PinTry{false}; });
    other.join();
    // The dialog goes as its thread waits again: before the next round looks for one.
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);

    EXPECT_EQ(result, PinResult::kInputEnded);
    EXPECT_EQ(tries, 0);
    if (inputEnds)
      EXPECT_EQ(firstSeenMs, 0u) << "a dialog while another held the turn";
    else
      EXPECT_GE(firstSeenMs, 700u) << "a dialog while another held the turn";
  }
}

}  // namespace
}  // namespace qelt::bridge
