// The PIN check: one toolkit call, one fixed result text.
#include "UtilityObject.h"
#include "SystemText.h"

namespace qelt {

std::string TfrmQELTUtility::CheckPin() {
  CheckResult(toolkit_->VerifyPin(param_->pin()));
  return Ansi(u"檢查通過");
}

}  // namespace qelt
