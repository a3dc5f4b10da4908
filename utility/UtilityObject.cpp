#include "UtilityObject.h"

#include "Exception.h"
#include "SystemText.h"

namespace qelt {

TfrmQELTUtility::TfrmQELTUtility(void* owner) : TfrmQELTUtility(owner, TQELT::kClassId) {}

TfrmQELTUtility::TfrmQELTUtility(WithoutCommandLine)
    : utility_(std::make_unique<TQeltUtility>()),
      param_(std::make_unique<TParams>()),
      toolkit_(std::make_unique<TQELT>(TQELT::kClassId)) {}

TfrmQELTUtility::TfrmQELTUtility(void* /*owner*/, const CLSID& toolkitClass)
    : utility_(std::make_unique<TQeltUtility>()),
      param_(std::make_unique<TParams>()),
      toolkit_(std::make_unique<TQELT>(toolkitClass)) {
  RunCreateEvent();
}

TfrmQELTUtility::~TfrmQELTUtility() {
  // The record first, then the message object, then the owned components.
  param_.reset();
  utility_.reset();
  toolkit_.reset();
}

void TfrmQELTUtility::set_param(std::unique_ptr<TParams> record) {
  if (record.get() == param_.get()) {
    record.release();  // already current: keep the one owner
    return;
  }
  param_ = std::move(record);
}

void TfrmQELTUtility::RunCreateEvent() { FormCreate(); }

void TfrmQELTUtility::CheckResult(std::int32_t code) const {
  if (code != 0) throw Exception(utility_->GetErrorMessage(code));
}

}  // namespace qelt
