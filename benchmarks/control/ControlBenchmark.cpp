// Times readCard and the eleven card getters of the control, called through
// IDispatch by DISPID as a script host calls them, against the two toolkit
// calls behind them (GetCertificate, GetCertificateInfo) made directly on the
// virtual card's IDispatch, interleaved; then checks that creating and
// releasing the control many times leaves no handles or memory behind.
//
// Usage: control_benchmark [ROUNDS] [CYCLES]
// Needs the control and the virtual card registered, and QELT_CARD_PROFILE.
#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <string>
#include <vector>

#include "Timing.h"
#include "Exception.h"
#include "ProcessUsage.h"
#include "QELTReaderProj1.h"
#include "win/Resources.h"

namespace qelt::bench {
namespace {

using win::ComPtr;

constexpr int kWarmUpRounds = 20;
constexpr int kWarmUpCycles = 200;
// Over 10,000 cycles, more than this means a few bytes kept by each; the
// heap commits whole pages, so some pages either way are noise.
constexpr size_t kMemoryToleranceBytes = 256 * 1024;
constexpr unsigned long kHandleTolerance = 2;

// {BC6CA137-0C5C-4850-AE73-5AB35BD1DB8A}, the card toolkit control.
const CLSID kToolkitClassId = {0xBC6CA137, 0x0C5C, 0x4850, {0xAE, 0x73, 0x5A, 0xB3, 0x5B, 0xD1, 0xDB, 0x8A}};
constexpr DISPID kGetCertificateInfo = 9, kGetCertificate = 12;
constexpr short kSigningCertificate = 1;

void Check(HRESULT hr, const char* what) {
  if (FAILED(hr)) {
    char code[16];
    std::snprintf(code, sizeof code, "%08lX", static_cast<unsigned long>(hr));
    throw Exception(std::string(what) + " failed: 0x" + code);
  }
}

// Invoke with the arguments given first to last; the result is cleared.
void Call(IDispatch* target, DISPID id, WORD flags, std::vector<VARIANTARG> args, const char* what) {
  std::reverse(args.begin(), args.end());  // IDispatch takes them last to first
  DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
  win::Variant result;
  win::ExceptionInfo exception;
  const HRESULT hr = target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, &result, &exception, nullptr);
  Check(hr, what);
  // The toolkit answers a result code; the control's getters a string.
  if (result.vt == VT_I4 && result.lVal != 0) throw Exception(std::string(what) + " answered " + std::to_string(result.lVal));
}

VARIANTARG ByRef(win::Variant& out) {
  VARIANTARG arg;
  arg.vt = VT_BYREF | VT_VARIANT;
  arg.pvarVal = &out;
  return arg;
}

// The control as a script host holds it: its DISPIDs looked up once.
class ControlCalls {
 public:
  explicit ControlCalls(IDispatch* control) : control_(control) {
    static const wchar_t* const kNames[] = {L"readCard", L"serialNumber", L"ICCardID", L"issuerName",
                                            L"subjectName", L"name", L"idno", L"usage", L"email",
                                            L"notBefore", L"notAfter", L"cardIssType"};
    for (const wchar_t* name : kNames) {
      LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
      DISPID id = DISPID_UNKNOWN;
      Check(control->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), "GetIDsOfNames");
      ids_.push_back(id);
    }
  }

  void ReadAll() {
    Call(control_, ids_[0], DISPATCH_METHOD, {}, "readCard");
    for (size_t i = 1; i < ids_.size(); ++i) Call(control_, ids_[i], DISPATCH_PROPERTYGET, {}, "a card getter");
  }

 private:
  IDispatch* control_;
  std::vector<DISPID> ids_;
};

// The toolkit calls that readCard makes, straight on the virtual card.
void ToolkitCalls(IDispatch* toolkit) {
  win::Variant certificate, cardNumber, information;
  VARIANTARG type;
  type.vt = VT_I2;
  type.iVal = kSigningCertificate;
  Call(toolkit, kGetCertificate, DISPATCH_METHOD, {type, ByRef(certificate), ByRef(cardNumber)}, "GetCertificate");
  Call(toolkit, kGetCertificateInfo, DISPATCH_METHOD, {certificate, ByRef(information)}, "GetCertificateInfo");
}

void PrintTimes(const char* name, const std::vector<double>& ms) {
  std::printf("  %-36s mean %7.3f ms  median %7.3f  p90 %7.3f  max %7.3f\n", name, Mean(ms), Percentile(ms, 0.5),
              Percentile(ms, 0.9), *std::max_element(ms.begin(), ms.end()));
}

ComPtr<IDispatch> NewControl(const CLSID& classId) {
  ComPtr<IDispatch> control;
  Check(::CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                           reinterpret_cast<void**>(control.GetAddressOf())),
        "Creating the control");
  return control;
}

bool CompareTimes(const CLSID& controlId, int rounds) {
  ComPtr<IDispatch> control = NewControl(controlId);
  ControlCalls calls(control.Get());
  ComPtr<IDispatch> toolkit;
  Check(::CoCreateInstance(kToolkitClassId, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                           reinterpret_cast<void**>(toolkit.GetAddressOf())),
        "Creating the card toolkit");

  for (int i = 0; i < kWarmUpRounds; ++i) {
    calls.ReadAll();
    ToolkitCalls(toolkit.Get());
  }
  std::vector<double> controlMs, toolkitMs;
  controlMs.reserve(rounds);
  toolkitMs.reserve(rounds);
  for (int i = 0; i < rounds; ++i) {  // interleaved, so drift hits both alike
    controlMs.push_back(TimeMs([&] { calls.ReadAll(); }));
    toolkitMs.push_back(TimeMs([&] { ToolkitCalls(toolkit.Get()); }));
  }
  std::printf("Card reading, %d rounds:\n", rounds);
  PrintTimes("readCard + 11 getters (control)", controlMs);
  PrintTimes("GetCertificate + GetCertificateInfo", toolkitMs);
  const double ratio = Percentile(controlMs, 0.5) / Percentile(toolkitMs, 0.5);
  std::printf("  ratio of medians %.3f, of means %.3f (target <= 1.25)\n", ratio, Mean(controlMs) / Mean(toolkitMs));
  return ratio <= 1.25;
}

bool CheckCycles(const CLSID& controlId, int cycles) {
  for (int i = 0; i < kWarmUpCycles; ++i) NewControl(controlId);
  const ProcessUsage before = CurrentProcessUsage();
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < cycles; ++i) NewControl(controlId);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const ProcessUsage after = CurrentProcessUsage();

  const long handleGrowth = static_cast<long>(after.openHandles) - static_cast<long>(before.openHandles);
  const long long memoryGrowth =
      static_cast<long long>(after.committedBytes) - static_cast<long long>(before.committedBytes);
  std::printf("Create/release, %d cycles (%.3f ms each):\n", cycles, seconds * 1000 / cycles);
  std::printf("  open handles     %lu -> %lu (%+ld; GetProcessHandleCount says %lu -> %lu)\n", before.openHandles,
              after.openHandles, handleGrowth, before.reportedHandles, after.reportedHandles);
  std::printf("  committed bytes  %zu -> %zu (%+lld)\n", before.committedBytes, after.committedBytes, memoryGrowth);
  std::printf("  working set      %zu -> %zu\n", before.workingSetBytes, after.workingSetBytes);
  const bool ok = handleGrowth <= static_cast<long>(kHandleTolerance) &&
                  memoryGrowth <= static_cast<long long>(kMemoryToleranceBytes);
  std::printf("  %s (tolerance: %lu handles, %zu KiB)\n", ok ? "no growth" : "GROWTH", kHandleTolerance,
              kMemoryToleranceBytes / 1024);
  return ok;
}

int Run(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 2000;
  const int cycles = argc > 2 ? std::atoi(argv[2]) : 10000;
  if (rounds <= 0 || cycles <= 0) throw Exception("usage: control_benchmark [ROUNDS] [CYCLES]");
  win::ComScope com;
  CLSID controlId;
  Check(::CLSIDFromProgID(L"QELTReaderProj1.QELTReader", &controlId), "Looking up the ProgID");
  const bool fast = CompareTimes(controlId, rounds);
  const bool clean = CheckCycles(controlId, cycles);
  return fast && clean ? 0 : 1;
}

}  // namespace
}  // namespace qelt::bench

int main(int argc, char** argv) {
  try {
    return qelt::bench::Run(argc, argv);
  } catch (const qelt::Exception& e) {
    std::fprintf(stderr, "control_benchmark: %s\n", e.what());
    return 2;
  }
}
