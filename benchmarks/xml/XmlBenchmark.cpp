// Reads the ten values of a test card's certificate information many times,
// with TXMLTool (Big5 text behind a Big5 declaration, as the card reading
// does) and with MSXML (UTF-16 text), and prints both times and their ratio.
// Usage: xml_benchmark.exe [ROUNDS] [--msxml6] [PROFILE]
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <stdexcept>
#include <string>
#include <vector>

#include "CardInformation.h"
#include "CodePage.h"
#include "MsxmlReader.h"
#include "XMLTool.h"
#include "win/Resources.h"
#include "win/Text.h"

namespace {

using qelt::bench::InformationElements;

std::wstring WinPath(const char* unixPath) {
  std::wstring out = L"Z:";
  for (const char* c = unixPath; *c; ++c) out.push_back(*c == '/' ? L'\\' : static_cast<wchar_t>(*c));
  return out;
}

std::vector<std::string> ReadWithNavigator(const std::string& big5) {
  qelt::TXMLTool navigator;
  navigator.LoadFromText("<?xml version=\"1.0\" encoding=\"Big5\"?>" + big5);
  navigator.GetValue(u"/CertBaseInfo//");
  std::vector<std::string> values;
  for (const std::wstring& name : InformationElements()) {
    const qelt::XmlValue v = navigator.GetValue(std::u16string(name.begin(), name.end()));
    values.push_back(v.isNull ? std::string() : qelt::cp::Utf16ToAnsi(v.text));
  }
  return values;
}

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to, const LARGE_INTEGER& frequency) {
  return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

template <typename F>
double Time(int rounds, F&& round) {
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  for (int i = 0; i < rounds; ++i) round();
  QueryPerformanceCounter(&end);
  return Seconds(start, end, frequency);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int rounds = 20000, version = 3;
  std::wstring profile = WinPath(QELT_BENCH_CARD);
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--msxml6") version = 6;
    else if (!arg.empty() && iswdigit(arg[0])) rounds = static_cast<int>(std::wcstol(arg.c_str(), nullptr, 10));
    else profile = arg;
  }
  if (rounds <= 0) rounds = 1;

  qelt::win::ComScope com;
  try {
    const std::wstring info = qelt::bench::ReadCertificateInformation(WinPath(QELT_VIRTUAL_CARD_DLL), profile);
    const std::string big5 = qelt::win::WideToAnsi(info);
    const qelt::bench::MsxmlReader msxml(version);

    // Both must read the same values before their times mean anything.
    const std::vector<std::string> ours = ReadWithNavigator(big5), theirs = msxml.Read(info);
    if (ours != theirs) {
      std::fprintf(stderr, "the two readers disagree\n");
      for (size_t i = 0; i < ours.size(); ++i)
        std::fprintf(stderr, "  [%s] [%s]\n", ours[i].c_str(), theirs[i].c_str());
      return 1;
    }

    ReadWithNavigator(big5);  // warm both up once
    msxml.Read(info);
    const double navigator = Time(rounds, [&] { ReadWithNavigator(big5); });
    const double dom = Time(rounds, [&] { msxml.Read(info); });

    std::printf("certificate information: %u characters, 10 values, %d rounds\n",
                static_cast<unsigned>(info.size()), rounds);
    std::printf("TXMLTool   (Big5):   %9.1f ms  %7.2f us/round\n", navigator * 1e3, navigator * 1e6 / rounds);
    std::printf("MSXML %d.0 (UTF-16): %9.1f ms  %7.2f us/round\n", version, dom * 1e3, dom * 1e6 / rounds);
    std::printf("ratio TXMLTool/MSXML: %.3f (target <= 1.0)\n", navigator / dom);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "xml_benchmark: %s\n", e.what());
    return 1;
  }
}
