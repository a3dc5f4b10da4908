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

#include <cstdio>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "Exception.h"
#include "HostPipes.h"
#include "QELTReaderProj1.h"
#include "RepetitionFigures.h"
#include "Timing.h"
#include "win/Resources.h"
#include "win/Text.h"

namespace qelt::bench {
namespace {

using win::ComPtr;

constexpr double kTarget = 1.2;
constexpr int kWarmUpRounds = 30;
// readCard first: the getters answer from what it read.
const char* const kReadMembers[] = {"readCard", "serialNumber", "ICCardID", "issuerName", "subjectName", "name",
                                    "idno",     "usage",        "email",    "notBefore",  "notAfter",    "cardIssType"};

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

bool WarmVer(Host& bridge, Host& echo, int rounds, int repetitions) {
  for (int i = 0; i < kWarmUpRounds; ++i) {
    bridge.Call("ver");
    echo.Call("ver");
  }
  Side bridgeSide{"bridge: ver", {}}, echoSide{"echo: call", {}};
  Interleave(rounds, repetitions, bridgeSide, [&] { return TimeMs([&] { bridge.Call("ver"); }); }, echoSide,
             [&] { return TimeMs([&] { echo.Call("ver"); }); });
  std::printf("Warm ver, %d x %d interleaved rounds, median ms per round trip (each repetition):\n", repetitions,
              rounds);
  PrintSide(bridgeSide);
  PrintSide(echoSide);
  return PrintRatio("bridge/echo", bridgeSide, echoSide, kTarget);
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
  return PrintRatio("bridge/(in process + echo)", bridgeSide, baseline, kTarget);
}

int Run(int argc, wchar_t** argv) {
  if (argc < 3) throw Exception("usage: bridge_benchmark BRIDGE_EXE ECHO_EXE [ROUNDS] [REPETITIONS]");
  const auto [rounds, repetitions] = ReadRunSize(argc, argv, 3, {300, 3}, {200, 3});
  win::ComScope com;

  Host bridge(argv[1], "qelt-bridge.exe");
  Host echo(argv[2], "qelt-bridge-echo.exe");
  for (Host* host : {&bridge, &echo}) PrintReady(*host, host->Hello());
  LocalControl local;

  const bool verMet = WarmVer(bridge, echo, rounds, repetitions);
  const bool readMet = CardReading(bridge, echo, local, rounds, repetitions);

  const bool bridgeEnded = EndedWell(bridge), echoEnded = EndedWell(echo);
  if (!bridgeEnded || !echoEnded) return 2;
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
