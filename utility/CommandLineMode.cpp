// The command-line mode: one operation chosen by the hosting process's
// KEY=VALUE arguments, run when the utility object is created.
#include <windows.h>

#include "CommandLineItems.h"
#include "CommandLineParams.h"
#include "CommandLineErrorBox.h"
#include "UtilityObject.h"
#include "StandardOutput.h"

namespace qelt {
namespace {

std::vector<std::string> ProcessArguments() { return CommandLineArguments(::GetCommandLineA()); }

}  // namespace

std::unique_ptr<TParams> TQeltUtility::ParseCommandLine() const { return ParseArguments(ProcessArguments()); }

// Any host with arguments runs the mode; a failure is shown, never thrown,
// so the object is still made.
void TfrmQELTUtility::FormCreate() {
  if (ProcessArguments().empty()) return;
  try {
    RunCommandLine();
  } catch (const std::exception& e) {
    ShowErrorBox(e.what());
  } catch (...) {
    ShowErrorBox("");
  }
}

void TfrmQELTUtility::RunCommandLine() {
  set_param(utility_->ParseCommandLine());
  std::string result;
  switch (param_->opt()) {
    case otSign: result = Sign(); break;
    case otVerity: result = Verify(); break;
    case otCertBase64: result = ReadCertificate(); break;
    case otCert: result = ReadCardInfo()->AsText(); break;
    case otEncrypt: result = Encrypt(); break;
    case otDecrypt: result = Decrypt(); break;
    case otChkXKMS: result = CheckXKMS(); break;
    case otChkPIN: result = CheckPin(); break;
    default: return;  // otNone and 9 to 255 run and print nothing
  }
  WriteOutputLine(result);
}

}  // namespace qelt
