// The soak run: many control lifetimes and many validations with faults
// injected, each outcome checked, and the process's handles and memory
// compared before and after. Runs inside tools/servers/with_server.sh.
// Usage: soak.exe CARDS_FOLDER [CYCLES] [VALIDATIONS]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "Exception.h"
#include "ProcessUsage.h"
#include "UtilityObject.h"
#include "SystemText.h"
#include "win/Resources.h"
#include "win/Text.h"

using namespace qelt;

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

void UseCard(const std::wstring& profile) { SetEnvironmentVariableW(L"QELT_CARD_PROFILE", profile.c_str()); }

// One kind of validation: where it goes, which card, what must come back
// (the start of the result or of the failure's message).
struct Scenario {
  const char* name;
  std::string url;
  TfrmQELTUtility* utility;
  std::string expected;
  int every;  // run on every n-th validation (slow ones less often)
};

std::string Outcome(TfrmQELTUtility& utility, const std::string& url) {
  utility.param()->set_url(url);
  try {
    return utility.CheckXKMS();
  } catch (const Exception& e) {
    return e.Message();
  }
}

void Print(const char* label, const bench::ProcessUsage& u) {
  std::printf("  %-7s handles %5lu  committed %10lu  working set %10lu\n", label, u.openHandles,
              static_cast<unsigned long>(u.committedBytes), static_cast<unsigned long>(u.workingSetBytes));
}

// Handles must come back to where they were; memory may settle a few pages higher.
bool Grew(const bench::ProcessUsage& before, const bench::ProcessUsage& after) {
  return after.openHandles > before.openHandles || after.committedBytes > before.committedBytes + 65536;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: soak CARDS_FOLDER [CYCLES] [VALIDATIONS]\n");
    return 2;
  }
  const std::wstring cards = argv[1];
  const int cycles = argc > 2 ? _wtoi(argv[2]) : 10000;
  const int validations = argc > 3 ? _wtoi(argv[3]) : 1000;
  win::ComScope com;
  bool ok = true;

  // Control lifetimes, by ProgID as a page creates it.
  UseCard(cards + L"\\citizen\\card.profile");
  CLSID control{};
  if (FAILED(CLSIDFromProgID(L"QELTReaderProj1.QELTReader", &control))) {
    std::printf("the control is not registered\n");
    return 1;
  }
  auto cycle = [&] {
    win::ComPtr<IDispatch> reader;
    if (FAILED(CoCreateInstance(control, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                reinterpret_cast<void**>(reader.GetAddressOf()))))
      ok = false;
  };
  for (int i = 0; i < 50; ++i) cycle();  // settle caches first
  const bench::ProcessUsage beforeCycles = bench::CurrentProcessUsage();
  const DWORD startCycles = GetTickCount();
  // The count at each tenth shows a steady leak apart from one-off growth.
  std::vector<unsigned long> handlesAt;
  for (int i = 0; i < cycles; ++i) {
    cycle();
    if (cycles >= 10 && (i + 1) % (cycles / 10) == 0) handlesAt.push_back(bench::CurrentProcessUsage().openHandles);
  }
  CoFreeUnusedLibraries();
  const bench::ProcessUsage afterCycles = bench::CurrentProcessUsage();
  std::printf("%d create/release cycles of the control in %lu ms\n", cycles, GetTickCount() - startCycles);
  Print("before", beforeCycles);
  Print("after", afterCycles);
  std::printf("  handles at each tenth:");
  for (unsigned long h : handlesAt) std::printf(" %lu", h);
  std::printf("\n");
  // A leak grows with the cycles; a one-off step (the platform's own tables)
  // does not. Growth means more than one handle per hundred cycles, or memory.
  const bool cyclesGrew =
      afterCycles.openHandles > beforeCycles.openHandles + static_cast<unsigned long>(cycles / 100) ||
      afterCycles.committedBytes > beforeCycles.committedBytes + 65536;
  std::printf("  growth: %s\n", cyclesGrew ? "YES" : "none");

  // Validations with faults.
  TfrmQELTUtility good;
  good.param()->set_certType(ctSign);
  UseCard(cards + L"\\revoked\\card.profile");
  TfrmQELTUtility revoked;
  revoked.param()->set_certType(ctSign);
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring faulty = std::wstring(temp) + L"qelt-soak-faulty.profile";
  {
    // A card whose certificate reads fail with a toolkit code.
    win::UniqueHandle f(CreateFileW(faulty.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    const char text[] = "pin=1234\nfail.GetCertificate=8003\n";
    DWORD written = 0;
    WriteFile(f.get(), text, sizeof text - 1, &written, nullptr);
  }
  UseCard(faulty);
  TfrmQELTUtility cardFault;
  cardFault.param()->set_certType(ctSign);
  DeleteFileW(faulty.c_str());

  const std::string service = "http://127.0.0.1:" + Env("QELT_VALIDATION_PORT") + "/xkms/XKMS";
  const std::string script = "http://127.0.0.1:" + Env("QELT_SCRIPT_PORT");
  const std::string closed = "http://127.0.0.1:" + Env("QELT_CLOSED_PORT") + "/xkms/XKMS";
  const std::string failed = Ansi(u"發生錯誤，錯誤訊息：");
  const std::string network = Ansi(u"網路連線失敗，錯誤代碼 ");
  std::vector<Scenario> scenarios = {
      {"valid certificate", service, &good, Ansi(u"驗證成功"), 1},
      {"revoked certificate", service, &revoked, failed + Ansi(u"憑證已停用或已到期"), 1},
      {"toolkit code", service, &cardFault, failed + Ansi(u"讀取IC卡憑證內容失敗"), 1},
      {"refused connection", closed, &good, failed + "Socket Error # 10061", 1},
      {"redirect", script + "/reply/302/NoMatch", &good, network + "302", 1},
      {"server error", script + "/reply/500", &good, network + "500", 1},
      {"no status line", script + "/garbage", &good, network + "-1", 1},
      {"over-long line", script + "/longline", &good, failed + "Max line length exceeded.", 1},
      {"stalled body of a failed reply", script + "/stallbody/503", &good, failed + "Read Timeout", 50},
  };
  std::vector<int> runs(scenarios.size()), wrong(scenarios.size());
  // Settle: each kind once, so first-use allocations of the platform are not counted.
  for (const Scenario& s : scenarios) Outcome(*s.utility, s.url);
  const bench::ProcessUsage beforeValidations = bench::CurrentProcessUsage();
  const DWORD startValidations = GetTickCount();
  for (int i = 0; i < validations; ++i) {
    const size_t k = static_cast<size_t>(i) % scenarios.size();
    const Scenario& s = scenarios[k];
    if ((i / static_cast<int>(scenarios.size())) % s.every != 0) {
      const std::string outcome = Outcome(good, service);  // the slow one's turn: a plain one instead
      if (outcome != Ansi(u"驗證成功")) ++wrong[0];
      ++runs[0];
      continue;
    }
    const std::string outcome = Outcome(*s.utility, s.url);
    ++runs[k];
    if (outcome.compare(0, s.expected.size(), s.expected) != 0) {
      if (wrong[k]++ == 0)
        std::printf("  %s: unexpected outcome: %s\n", s.name, outcome.c_str());
    }
  }
  const bench::ProcessUsage afterValidations = bench::CurrentProcessUsage();
  std::printf("%d validations in %lu ms\n", validations, GetTickCount() - startValidations);
  for (size_t k = 0; k < scenarios.size(); ++k)
    std::printf("  %-32s %5d runs, %d unexpected\n", scenarios[k].name, runs[k], wrong[k]);
  Print("before", beforeValidations);
  Print("after", afterValidations);
  const bool validationsGrew = Grew(beforeValidations, afterValidations);
  std::printf("  growth: %s\n", validationsGrew ? "YES" : "none");

  int unexpected = 0;
  for (int w : wrong) unexpected += w;
  ok = ok && !cyclesGrew && !validationsGrew && unexpected == 0;
  std::printf("soak: %s\n", ok ? "passed" : "FAILED");
  return ok ? 0 : 1;
}
