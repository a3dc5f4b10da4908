#include "ReaderState.h"

#ifndef QELT_VALIDATION_HOST
#define QELT_VALIDATION_HOST "localhost"
#endif

namespace qelt::control {

TQELTReader::TQELTReader() : utilityForm_(std::make_unique<TfrmQELTUtility>()) {
  param().set_certType(ctSign);
}

TQELTReader::~TQELTReader() {
  cardInfo_.reset();
  utilityForm_.reset();
}

void TQELTReader::readCard() {
  std::unique_ptr<TCardInfo> read;
  try {
    read = utilityForm_->ReadCardInfo();
  } catch (...) {
    cardRead_ = false;
    throw;
  }
  cardInfo_ = std::move(read);
  cardRead_ = true;
}

const TCardInfo& TQELTReader::CurrentCardInfo() {
  // A getter's own read replaces the record but does not make it current.
  if (!cardRead_) cardInfo_ = utilityForm_->ReadCardInfo();
  return *cardInfo_;
}

std::string TQELTReader::CardField(Field field) { return (CurrentCardInfo().*field)(); }

std::string TQELTReader::cardIssType() { return CurrentCardInfo().GetCardIssType(); }

void TQELTReader::checkPin(const std::string& pin) {
  param().set_pin(pin);
  utilityForm_->CheckPin();
}

void TQELTReader::checkXKMS() {
  param().set_url(DefaultValidationUrl());
  utilityForm_->CheckXKMS();
}

std::string TQELTReader::DefaultValidationUrl() { return std::string("http://") + QELT_VALIDATION_HOST + "/xkms/XKMS"; }

}  // namespace qelt::control
