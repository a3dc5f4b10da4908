// The utility object: owns the parameters record, the message object and the
// card toolkit control, and runs every card and validation operation.
#pragma once
#include <memory>
#include <string>

#include "CardInfo.h"
#include "Params.h"
#include "MessageObject.h"
#include "CardToolkit.h"

namespace qelt {

class TfrmQELTUtility {
 public:
  // Builds the message object, a default record and the toolkit control, in
  // that order, then runs the create event. Fails when the toolkit control
  // cannot be created.
  explicit TfrmQELTUtility(void* owner = nullptr);
  // For a host that runs the operations itself: no create event, so its own
  // command line is never taken for the command-line mode's.
  struct WithoutCommandLine {};
  explicit TfrmQELTUtility(WithoutCommandLine);
  virtual ~TfrmQELTUtility();
  TfrmQELTUtility(const TfrmQELTUtility&) = delete;
  TfrmQELTUtility& operator=(const TfrmQELTUtility&) = delete;

  TParams* param() const { return param_.get(); }
  // Makes the record the current, owned one and releases the one before.
  void set_param(std::unique_ptr<TParams> record);

  TQeltUtility& utility() const { return *utility_; }
  TQELT& toolkit() const { return *toolkit_; }

  // Operations: read param, return a result text or throw qelt::Exception.
  // Each group lives in its own source file.
  std::string CheckPin();                                   // PinCheck.cpp
  void ReadCertAndCardNo(std::string& cert, std::string& cardNo);  // CardReading.cpp
  std::string ReadCertificate();
  std::unique_ptr<TCardInfo> ReadCardInfo();
  std::string Sign();                                       // CardCryptoOperations.cpp
  std::string Verify();
  std::string Encrypt();
  std::string Decrypt();
  void SaveResult(const std::string& value);
  std::string CheckXKMS();                                  // XkmsValidation.cpp
  void RunCommandLine();                                    // CommandLineMode.cpp

 protected:
  // Test seam: the toolkit's class.
  TfrmQELTUtility(void* owner, const CLSID& toolkitClass);
  // The create event; runs once construction has completed (CommandLineMode.cpp).
  void FormCreate();
  // A non-zero toolkit result becomes a failure carrying the table's message.
  void CheckResult(std::int32_t code) const;

 private:
  void RunCreateEvent();

  std::unique_ptr<TQeltUtility> utility_;
  std::unique_ptr<TParams> param_;
  std::unique_ptr<TQELT> toolkit_;
};

}  // namespace qelt
