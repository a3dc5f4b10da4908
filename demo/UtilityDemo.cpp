// The demo: the utility core against the virtual card and the local
// validation service. Reads the card, checks a PIN (right and wrong) and
// validates two cards' certificates. Prints the system's own texts as they
// are (ANSI code page); the run script shows them on a UTF-8 terminal.
// Usage: utility_demo.exe VALID_PROFILE REVOKED_PROFILE URL
#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>

#include "Exception.h"
#include "QeltUtilityForm.h"
#include "win/Resources.h"
#include "win/Text.h"

namespace {

void Show(const char* what, const std::function<std::string()>& run) {
  std::printf("%s: ", what);
  try {
    std::printf("%s\n", run().c_str());
  } catch (const qelt::Exception& e) {
    std::printf("failed: %s\n", e.what());
  }
}

void UseCard(const std::wstring& profile) { SetEnvironmentVariableW(L"QELT_CARD_PROFILE", profile.c_str()); }

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: utility_demo VALID_PROFILE REVOKED_PROFILE URL\n");
    return 2;
  }
  const std::string url = qelt::win::WideToAnsi(argv[3]);
  qelt::win::ComScope com;
  try {
    UseCard(argv[1]);
    qelt::TfrmQELTUtility utility;
    utility.param()->set_certType(qelt::ctSign);
    std::printf("== The card's certificate information ==\n");
    Show("readCard", [&] {
      auto info = utility.ReadCardInfo();
      return "\n" + info->AsText() + "\r\ncardNumber : " + info->icCardId() +
             "\r\ncardIssType : " + info->GetCardIssType();
    });
    std::printf("\n== PIN check (the card's PIN is 1234) ==\n");
    for (const char* pin : {"1234", "0000"}) {
      utility.param()->set_pin(pin);
      Show((std::string("checkPin ") + pin).c_str(), [&] { return utility.CheckPin(); });
    }
    std::printf("\n== Online validation at %s ==\n", url.c_str());
    utility.param()->set_url(url);
    Show("valid card", [&] { return utility.CheckXKMS(); });
    UseCard(argv[2]);
    qelt::TfrmQELTUtility revoked;
    revoked.param()->set_certType(qelt::ctSign);
    revoked.param()->set_url(url);
    Show("revoked card", [&] { return revoked.CheckXKMS(); });
  } catch (const qelt::Exception& e) {
    std::printf("cannot start: %s\n", e.what());
    return 1;
  }
  return 0;
}
