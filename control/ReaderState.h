// The control's state and its members in 8-bit text: the utility object, the
// card information of the last read and whether that read is current
// (cleared by a failed read). The automation side (ReaderAutomation.cpp)
// calls these; failures are thrown as qelt::Exception.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "CardInfo.h"
#include "UtilityObject.h"

namespace qelt::control {

class TQELTReader {
 public:
  // Creates the utility object (its create event runs inside), then asks
  // every later card read for the signing certificate.
  TQELTReader();
  // Frees the card information, then the utility object.
  virtual ~TQELTReader();
  TQELTReader(const TQELTReader&) = delete;
  TQELTReader& operator=(const TQELTReader&) = delete;

  void readCard();
  // The card getters: while no read is current, each reads the card anew.
  using Field = const std::string& (TCardInfo::*)() const;
  std::string CardField(Field field);
  std::string cardIssType();

  void checkPin(const std::string& pin);
  void checkXKMS();

  std::string proxyServer() const { return param().proxyServer(); }
  void set_proxyServer(const std::string& v) { param().set_proxyServer(v); }
  std::int32_t proxyPort() const { return param().proxyPort(); }
  void set_proxyPort(std::int32_t v) { param().set_proxyPort(v); }
  std::string proxyUser() const { return param().proxyUserName(); }
  void set_proxyUser(const std::string& v) { param().set_proxyUserName(v); }
  std::string proxyPass() const { return param().proxyPassword(); }
  void set_proxyPass(const std::string& v) { param().set_proxyPassword(v); }

  static std::string ver() { return "3.0"; }
  // "http://" + the validation host + "/xkms/XKMS".
  static std::string DefaultValidationUrl();

  bool cardRead() const { return cardRead_; }
  const TCardInfo* cardInfo() const { return cardInfo_.get(); }
  TfrmQELTUtility& utilityForm() const { return *utilityForm_; }

 private:
  // The utility object's current record, taken at each call.
  TParams& param() const { return *utilityForm_->param(); }
  const TCardInfo& CurrentCardInfo();

  std::unique_ptr<TfrmQELTUtility> utilityForm_;
  std::unique_ptr<TCardInfo> cardInfo_;
  bool cardRead_ = false;
};

}  // namespace qelt::control
