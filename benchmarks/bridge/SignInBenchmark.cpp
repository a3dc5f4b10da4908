// Times a sign-in through qelt-bridge.exe from the person's OK to the result:
// the host started with pipes, a hello after a click, then per round an
// authenticate whose PIN dialog this program answers from outside (the PIN
// typed into the password edit once the dialog is 1.1 s old, then OK
// posted). Against it, in this process, the toolkit calls behind the token:
// SignData over the same to-be-signed text and GetCertificate, by dispatch
// identifier on the toolkit's class. Rounds are interleaved and repeated;
// each repetition's median is printed with the spread of the medians and the
// ratio (target: at most 1.1).
//
// Usage: sign_in_benchmark BRIDGE_EXE [ROUNDS] [REPETITIONS]
// Needs the control and the virtual card registered, QELT_CARD_PROFILE (a
// card whose PIN is 1234, with a signing key), and the bridge's policy
// admitting https://bench.example.
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

#include "CardToolkit.h"
#include "Exception.h"
#include "HostPipes.h"
#include "RepetitionFigures.h"
#include "Timing.h"
#include "win/Resources.h"

namespace qelt::bench {
namespace {

constexpr double kTarget = 1.1;
constexpr int kWarmUpRounds = 2;
constexpr std::int16_t kStData = 0, kCtSign = 1;
const char kPin[] = "1234";
const wchar_t kPinWide[] = L"1234";
const wchar_t kDialogTitle[] = L"QELTReader";
// The dialog ignores OK in its first second; seen is no earlier than shown.
constexpr DWORD kDialogOldEnoughMs = 1100;
constexpr auto kDialogWait = std::chrono::seconds(30);
constexpr DWORD kPollMs = 5;

// A site's challenge: 43 characters of Base64url, 32 random bytes' worth.
std::string Challenge(std::mt19937& random) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  std::string text(43, 'A');
  for (char& c : text) c = kAlphabet[random() % 64];
  return text;
}

std::string ToBeSigned(const std::string& challenge) {
  return std::string("<TBSHeader>qelt-auth:1 ") + kOrigin + "</TBSHeader><TBSBody>" + challenge + "</TBSBody>";
}

HWND PasswordEditOf(HWND dialog) {
  for (HWND edit = ::FindWindowExW(dialog, nullptr, L"Edit", nullptr); edit;
       edit = ::FindWindowExW(dialog, edit, L"Edit", nullptr))
    if (::GetWindowLongW(edit, GWL_STYLE) & ES_PASSWORD) return edit;
  return nullptr;
}

// The host's PIN dialog: visible, top-level, in its process, with a
// password edit.
struct PinDialog {
  HWND window = nullptr;
  HWND pinEdit = nullptr;
};
PinDialog FindPinDialog(DWORD processId) {
  for (HWND window = ::FindWindowExW(nullptr, nullptr, L"#32770", kDialogTitle); window;
       window = ::FindWindowExW(nullptr, window, L"#32770", kDialogTitle)) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner != processId || !::IsWindowVisible(window)) continue;
    if (HWND edit = PasswordEditOf(window)) return {window, edit};
  }
  return {};
}

PinDialog WaitForPinDialog(DWORD processId) {
  const Clock::time_point deadline = Clock::now() + kDialogWait;
  for (;;) {
    const PinDialog dialog = FindPinDialog(processId);
    if (dialog.window) return dialog;
    if (Clock::now() > deadline) throw Exception("qelt-bridge.exe showed no PIN dialog");
    ::Sleep(kPollMs);
  }
}

// One sign-in through the bridge; the milliseconds from OK to the result.
// The token must be the card's, for the benchmark's origin.
double SignInThroughBridge(Host& bridge, const std::string& challenge, const std::string& certificate) {
  const std::uint64_t id = bridge.NextId();
  bridge.Send(R"({"type":"authenticate","id":)" + std::to_string(id) + R"(,"challenge":")" + challenge +
              R"(","userActivation":true})");
  const PinDialog dialog = WaitForPinDialog(bridge.ProcessId());
  ::Sleep(kDialogOldEnoughMs);
  DWORD_PTR ignored = 0;
  if (!::SendMessageTimeoutW(dialog.pinEdit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(kPinWide), SMTO_ABORTIFHUNG,
                             5000, &ignored))
    throw Exception("the PIN dialog took no PIN");
  // Posted: a sent click returns only once the card signed.
  Json token;
  const double ms = TimeMs([&] {
    if (!::PostMessageW(dialog.window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                        reinterpret_cast<LPARAM>(::GetDlgItem(dialog.window, IDOK))))
      throw Exception("pressing OK failed: error " + std::to_string(::GetLastError()));
    token = bridge.ResultOf(bridge.Receive(), id, "authenticate");
  });
  if (token.value("format", "") != "qelt-auth:1" || token.value("origin", "") != kOrigin ||
      token.value("certificate", "") != certificate || token.value("signature", "").empty())
    throw Exception("the bridge's token is not the card's sign-in for " + std::string(kOrigin) + ": " +
                    token.dump());
  // The dialog is out of sight before the result is written (and taken down
  // right after); the next round must not find it again.
  for (int waited = 0; ::IsWindow(dialog.window) && waited < 2000; waited += 5) ::Sleep(5);
  if (::IsWindow(dialog.window)) throw Exception("the PIN dialog stayed open after the result");
  return ms;
}

// The toolkit calls behind a sign-in token, made here.
void SignInProcess(TQELT& toolkit, const std::string& challenge, std::string& certificate) {
  std::string signature, cardNumber;
  std::int32_t code = toolkit.SignData(kStData, ToBeSigned(challenge), kPin, signature);
  if (code != 0 || signature.empty()) throw Exception("SignData answered " + std::to_string(code));
  code = toolkit.GetCertificate(kCtSign, certificate, cardNumber);
  if (code != 0 || certificate.empty()) throw Exception("GetCertificate answered " + std::to_string(code));
}

bool SignIn(Host& bridge, TQELT& toolkit, int rounds, int repetitions) {
  std::mt19937 random(std::random_device{}());
  std::string certificate;
  SignInProcess(toolkit, Challenge(random), certificate);
  for (int i = 0; i < kWarmUpRounds; ++i) {
    SignInThroughBridge(bridge, Challenge(random), certificate);
    SignInProcess(toolkit, Challenge(random), certificate);
  }
  Side bridgeSide{"bridge: OK to result", {}}, localSide{"in process: SignData + GetCert", {}};
  Interleave(
      rounds, repetitions, bridgeSide, [&] { return SignInThroughBridge(bridge, Challenge(random), certificate); },
      localSide, [&] {
        const std::string challenge = Challenge(random);
        return TimeMs([&] { SignInProcess(toolkit, challenge, certificate); });
      });
  std::printf("authenticate, %d x %d interleaved rounds, median ms (each repetition):\n", repetitions, rounds);
  PrintSide(bridgeSide);
  PrintSide(localSide);
  return PrintRatio("bridge/in process", bridgeSide, localSide, kTarget);
}

int Run(int argc, wchar_t** argv) {
  if (argc < 2) throw Exception("usage: sign_in_benchmark BRIDGE_EXE [ROUNDS] [REPETITIONS]");
  const auto [rounds, repetitions] = ReadRunSize(argc, argv, 2, {15, 3}, {15, 3});
  win::ComScope com;

  Host bridge(argv[1], "qelt-bridge.exe");
  PrintReady(bridge, bridge.Hello(true));
  TQELT toolkit;

  const bool met = SignIn(bridge, toolkit, rounds, repetitions);

  if (!EndedWell(bridge)) return 2;
  return met ? 0 : 1;
}

}  // namespace
}  // namespace qelt::bench

int wmain(int argc, wchar_t** argv) {
  try {
    return qelt::bench::Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "sign_in_benchmark: %s\n", e.what());
    return 2;
  }
}
