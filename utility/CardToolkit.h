// The card toolkit control, created invisibly and called by dispatch identifier.
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <cstdint>
#include <string>

#include "win/Resources.h"

namespace qelt {

class TQELT {
 public:
  static const CLSID kClassId;     // the toolkit control's class
  static const IID kDispatchIid;   // its dispatch interface _DQELT

  // Creates the control; fails with the platform's message when it cannot.
  explicit TQELT(const CLSID& classId = kClassId);
  TQELT(const TQELT&) = delete;
  TQELT& operator=(const TQELT&) = delete;

  // Each returns the toolkit's result code; outputs are filled only on 0.
  std::int32_t VerifyPin(const std::string& pin);
  std::int32_t DecryptData(const std::string& cipher, const std::string& pin, std::string& plain);
  std::int32_t EncryptData(const std::string& plain, const std::string& cert, std::string& cipher);
  std::int32_t GetCertificateInfo(const std::string& cert, std::string& info);
  std::int32_t SignData(std::int16_t signTyp, const std::string& tbs, const std::string& pin,
                        std::string& signature);
  std::int32_t VerifySignedData(const std::string& signature, const std::string& tbs,
                                std::string& signer, std::string& signingTime);
  std::int32_t GetCertificate(std::int16_t certType, std::string& cert, std::string& cardNo);

 private:
  IDispatch* Dispatch();

  win::ComPtr<IUnknown> control_;
  win::ComPtr<IDispatch> dispatch_;
};

}  // namespace qelt
