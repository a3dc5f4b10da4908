// Times qelt-bridge.exe as a browser uses it: started with pipes, one hello,
// then calls answered in order. Two comparisons, side by side in one run:
//   - warm ver: one round trip to the bridge (the control's ver) against one
//     to the echo host (same loop, framing and process, no control);
//   - readCard and the eleven card getters: twelve round trips to the bridge
//     against the same twelve calls on the control in this process (by DISPID)
//     plus twelve round trips to the echo host.
// Rounds are interleaved and repeated; each repetition's median is printed
// with the spread of the medians and the ratio (target: at most 1.2).
//
// Usage: bridge_benchmark BRIDGE_EXE ECHO_EXE [ROUNDS] [REPETITIONS]
// Needs the control and the virtual card registered, QELT_CARD_PROFILE, and
// the bridge's policy admitting https://bench.example.
#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Exception.h"
#include "Framing.h"
#include "QELTReaderProj1.h"
#include "Timing.h"
#include "win/Resources.h"
#include "win/Text.h"

namespace qelt::bench {
namespace {

using Json = nlohmann::json;
using win::ComPtr;
using win::UniqueHandle;

constexpr const char* kOrigin = "https://bench.example";
constexpr double kTarget = 1.2;
constexpr int kWarmUpRounds = 30;
// readCard first: the getters answer from what it read.
const char* const kReadMembers[] = {"readCard", "serialNumber", "ICCardID", "issuerName", "subjectName", "name",
                                    "idno",     "usage",        "email",    "notBefore",  "notAfter",    "cardIssType"};

void Check(HRESULT hr, const std::string& what) {
  if (FAILED(hr)) {
    char code[16];
    std::snprintf(code, sizeof code, "%08lX", static_cast<unsigned long>(hr));
    throw Exception(what + " failed: 0x" + code);
  }
}

class PipeSource : public bridge::ByteSource {
 public:
  explicit PipeSource(HANDLE pipe) : pipe_(pipe) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    DWORD got = 0;
    if (!::ReadFile(pipe_, buffer, static_cast<DWORD>(std::min<std::size_t>(size, 1 << 20)), &got, nullptr))
      return 0;
    return got;
  }

 private:
  HANDLE pipe_;
};

// An anonymous pipe whose ends a child may inherit, except ours.
struct Pipe {
  UniqueHandle read, write;
};
Pipe MakePipe(bool oursIsRead) {
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  Pipe pipe;
  if (!::CreatePipe(pipe.read.put(), pipe.write.put(), &inheritable, 0)) throw Exception("CreatePipe failed");
  ::SetHandleInformation((oursIsRead ? pipe.read : pipe.write).get(), HANDLE_FLAG_INHERIT, 0);
  return pipe;
}

// A host program as a browser runs it: its standard input and output are
// pipes of ours, its standard error is ours.
class Host {
 public:
  Host(const std::wstring& program, std::string name)
      : name_(std::move(name)), toHost_(MakePipe(false)), fromHost_(MakePipe(true)), source_(fromHost_.read.get()) {
    UniqueHandle error;
    ::DuplicateHandle(::GetCurrentProcess(), ::GetStdHandle(STD_ERROR_HANDLE), ::GetCurrentProcess(), error.put(),
                      0, TRUE, DUPLICATE_SAME_ACCESS);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = toHost_.read.get();
    startup.hStdOutput = fromHost_.write.get();
    startup.hStdError = error.get();
    std::wstring commandLine = L"\"" + program + L"\"";
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                          nullptr, &startup, &started))
      throw Exception("starting " + name_ + " failed: error " + std::to_string(::GetLastError()));
    process_.reset(started.hProcess);
    UniqueHandle thread(started.hThread);
    // Only the host holds its ends now: its exit ends our reads.
    toHost_.read.reset();
    fromHost_.write.reset();
  }

  ~Host() {
    if (process_ && End(5000) == STILL_ACTIVE) ::TerminateProcess(process_.get(), 3);
  }
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  const std::string& Name() const { return name_; }

  // The hello; returns the ready reply.
  Json Hello() {
    Json hello = {{"type", "hello"}, {"protocol", 1}, {"origin", kOrigin}, {"topLevel", true}};
    Json reply = Exchange(hello.dump());
    if (reply.value("type", "") != "ready") throw Exception(name_ + " did not admit " + kOrigin + ": " + reply.dump());
    return reply;
  }

  // One call's round trip: its result's value.
  Json Call(const char* member) {
    const std::uint64_t id = ++lastId_;
    Json reply = Exchange(R"({"type":"call","id":)" + std::to_string(id) + R"(,"member":")" + member +
                          R"(","args":[]})");
    const auto found = reply.find("id");
    if (reply.value("type", "") != "result" || found == reply.end() || *found != id)
      throw Exception(name_ + ": " + member + " answered " + reply.dump());
    return reply["value"];
  }

  // Ends the input, as a browser closing the port; the exit code, or
  // STILL_ACTIVE when the process did not end in time.
  DWORD End(DWORD waitMs) {
    toHost_.write.reset();
    ::WaitForSingleObject(process_.get(), waitMs);
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeProcess(process_.get(), &code);
    return code;
  }

 private:
  Json Exchange(const std::string& message) {
    const std::string frame = bridge::EncodeFrame(message);
    DWORD written = 0;
    if (!::WriteFile(toHost_.write.get(), frame.data(), static_cast<DWORD>(frame.size()), &written, nullptr) ||
        written != frame.size())
      throw Exception(name_ + " stopped reading");
    bridge::Frame reply = reader_.Next();
    if (reply.kind != bridge::Frame::Kind::kMessage)
      throw Exception(name_ + " sent no reply" + (reply.reason.empty() ? "" : ": " + reply.reason));
    return Json::parse(reply.payload);
  }

  std::string name_;
  Pipe toHost_, fromHost_;
  PipeSource source_;
  bridge::FrameReader reader_{source_};
  UniqueHandle process_;
  std::uint64_t lastId_ = 0;
};

// The control in this process, called as a script host calls it: DISPIDs
// looked up once, the same flags as the bridge's.
class LocalControl {
 public:
  LocalControl() {
    Check(::CoCreateInstance(CLSID_QELTReader, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                             reinterpret_cast<void**>(control_.GetAddressOf())),
          "Creating the control");
    for (const char* member : kReadMembers) {
      const std::wstring wide = win::Utf8ToWide(member);
      LPOLESTR names[] = {const_cast<LPOLESTR>(wide.c_str())};
      DISPID id = DISPID_UNKNOWN;
      Check(control_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id),
            std::string("GetIDsOfNames ") + member);
      ids_.push_back(id);
    }
  }

  void Call(std::size_t index, win::Variant& result) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    win::ExceptionInfo exception;
    Check(control_->Invoke(ids_[index], IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none,
                           &result, &exception, nullptr),
          kReadMembers[index]);
  }

  void ReadAll() {
    for (std::size_t i = 0; i < ids_.size(); ++i) {
      win::Variant result;
      Call(i, result);
    }
  }

 private:
  ComPtr<IDispatch> control_;
  std::vector<DISPID> ids_;
};

void ReadAll(Host& host) {
  for (const char* member : kReadMembers) host.Call(member);
}

// The bridge must answer what the control answers here, or the two sides
// would not be doing the same work.
void CheckSameAnswers(Host& bridge, LocalControl& local) {
  for (std::size_t i = 0; i < std::size(kReadMembers); ++i) {
    const Json remote = bridge.Call(kReadMembers[i]);
    win::Variant value;
    local.Call(i, value);
    Json expected;
    if (value.vt == VT_BSTR) expected = win::WideToUtf8(value.bstrVal, ::SysStringLen(value.bstrVal));
    else if (value.vt != VT_EMPTY && value.vt != VT_NULL) continue;
    if (remote != expected)
      throw Exception(std::string("the bridge's ") + kReadMembers[i] + " is " + remote.dump() + ", in process " +
                      expected.dump());
  }
}

double Median(const std::vector<double>& values) { return Percentile(values, 0.5); }

// One side's figure per repetition (the median of its rounds).
struct Side {
  const char* label;
  std::vector<double> medians;
};

void PrintSide(const Side& side) {
  std::printf("  %-34s", side.label);
  for (double m : side.medians) std::printf(" %8.3f", m);
  const auto [low, high] = std::minmax_element(side.medians.begin(), side.medians.end());
  const double middle = Median(side.medians);
  std::printf("   spread %.3f-%.3f (%.1f%%)\n", *low, *high, middle > 0 ? (*high - *low) * 100 / middle : 0.0);
}

// Each repetition's ratio compares rounds run side by side; the middle one
// is the figure (a repetition that a busy machine slowed is an outlier).
// True when it meets the target.
bool PrintRatio(const char* label, const Side& measured, const Side& baseline) {
  std::vector<double> ratios;
  for (std::size_t r = 0; r < measured.medians.size(); ++r) ratios.push_back(measured.medians[r] / baseline.medians[r]);
  const double ratio = Median(ratios);
  std::printf("  ratio %-28s %8.3f   per repetition", label, ratio);
  for (double each : ratios) std::printf(" %.3f", each);
  std::printf("   (target <= %.1f)%s\n", kTarget, ratio <= kTarget ? "" : "  MISSED");
  return ratio <= kTarget;
}

bool WarmVer(Host& bridge, Host& echo, int rounds, int repetitions) {
  for (int i = 0; i < kWarmUpRounds; ++i) {
    bridge.Call("ver");
    echo.Call("ver");
  }
  Side bridgeSide{"bridge: ver", {}}, echoSide{"echo: call", {}};
  for (int r = 0; r < repetitions; ++r) {
    std::vector<double> bridgeMs, echoMs;
    for (int i = 0; i < rounds; ++i) {  // which goes first alternates
      auto timeBridge = [&] { bridgeMs.push_back(TimeMs([&] { bridge.Call("ver"); })); };
      auto timeEcho = [&] { echoMs.push_back(TimeMs([&] { echo.Call("ver"); })); };
      if (i % 2 == 0) { timeBridge(); timeEcho(); }
      else { timeEcho(); timeBridge(); }
    }
    bridgeSide.medians.push_back(Median(bridgeMs));
    echoSide.medians.push_back(Median(echoMs));
  }
  std::printf("Warm ver, %d x %d interleaved rounds, median ms per round trip (each repetition):\n", repetitions,
              rounds);
  PrintSide(bridgeSide);
  PrintSide(echoSide);
  return PrintRatio("bridge/echo", bridgeSide, echoSide);
}

bool CardReading(Host& bridge, Host& echo, LocalControl& local, int rounds, int repetitions) {
  CheckSameAnswers(bridge, local);
  for (int i = 0; i < kWarmUpRounds; ++i) {
    ReadAll(bridge);
    local.ReadAll();
    ReadAll(echo);
  }
  Side bridgeSide{"bridge: 12 calls", {}}, localSide{"in process: 12 calls", {}}, echoSide{"echo: 12 calls", {}},
      baseline{"in process + echo (per round)", {}};
  for (int r = 0; r < repetitions; ++r) {
    std::vector<double> bridgeMs(rounds), localMs(rounds), echoMs(rounds), baselineMs(rounds);
    const std::function<void(int)> measures[] = {
        [&](int i) { bridgeMs[i] = TimeMs([&] { ReadAll(bridge); }); },
        [&](int i) { localMs[i] = TimeMs([&] { local.ReadAll(); }); },
        [&](int i) { echoMs[i] = TimeMs([&] { ReadAll(echo); }); },
    };
    for (int i = 0; i < rounds; ++i) {  // each takes each place in turn
      for (int k = 0; k < 3; ++k) measures[(i + k) % 3](i);
      baselineMs[i] = localMs[i] + echoMs[i];
    }
    bridgeSide.medians.push_back(Median(bridgeMs));
    localSide.medians.push_back(Median(localMs));
    echoSide.medians.push_back(Median(echoMs));
    baseline.medians.push_back(Median(baselineMs));
  }
  std::printf("readCard + 11 getters, %d x %d interleaved rounds, median ms per 12 calls (each repetition):\n",
              repetitions, rounds);
  PrintSide(bridgeSide);
  PrintSide(localSide);
  PrintSide(echoSide);
  PrintSide(baseline);
  return PrintRatio("bridge/(in process + echo)", bridgeSide, baseline);
}

int Run(int argc, wchar_t** argv) {
  if (argc < 3) throw Exception("usage: bridge_benchmark BRIDGE_EXE ECHO_EXE [ROUNDS] [REPETITIONS]");
  const int rounds = argc > 3 ? _wtoi(argv[3]) : 300;
  const int repetitions = argc > 4 ? _wtoi(argv[4]) : 3;
  if (rounds <= 0 || repetitions <= 0) throw Exception("ROUNDS and REPETITIONS are positive numbers");
  if (rounds < 200 || repetitions < 3) std::printf("(fewer than 3 x 200 rounds: rough figures)\n");
  win::ComScope com;

  Host bridge(argv[1], "qelt-bridge.exe");
  Host echo(argv[2], "qelt-bridge-echo.exe");
  for (Host* host : {&bridge, &echo}) {
    const Json ready = host->Hello();
    std::printf("%s ready: version %s, %s\n", host->Name().c_str(), ready.value("version", "?").c_str(),
                ready.value("arch", "?").c_str());
  }
  LocalControl local;

  const bool verMet = WarmVer(bridge, echo, rounds, repetitions);
  const bool readMet = CardReading(bridge, echo, local, rounds, repetitions);

  bool endedWell = true;
  for (Host* host : {&bridge, &echo}) {
    const DWORD code = host->End(10000);
    if (code != 0) {
      std::printf("%s: exit code %lu at the end of input (expected 0)\n", host->Name().c_str(), code);
      endedWell = false;
    }
  }
  if (!endedWell) return 2;
  return verMet && readMet ? 0 : 1;
}

}  // namespace
}  // namespace qelt::bench

int wmain(int argc, wchar_t** argv) {
  try {
    return qelt::bench::Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bridge_benchmark: %s\n", e.what());
    return 2;
  }
}
