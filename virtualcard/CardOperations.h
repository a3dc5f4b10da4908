// What the virtual card does for each toolkit method: positional arguments
// in, result code out.
#pragma once
#include <oaidl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Profile.h"

namespace qelt::card {

// The arguments of one call, first to last as the caller wrote them.
class CallArgs {
 public:
  explicit CallArgs(const DISPPARAMS& params);
  size_t Count() const { return args_.size(); }
  std::wstring Text(size_t index) const;
  std::int16_t Short(size_t index) const;
  // Stores a text in an output argument (a variant passed by reference).
  void SetText(size_t index, const std::wstring& text) const;

 private:
  std::vector<VARIANT*> args_;
};

struct Method {
  DISPID id;
  const wchar_t* name;
  size_t argCount;
  size_t inputCount;  // the leading arguments the caller fills; the rest are outputs
  std::int32_t (*run)(Profile&, const CallArgs&);
};

// The toolkit's methods, identifiers 6 to 12.
const std::vector<Method>& Methods();

// The methods, each group in its own file.
std::int32_t VerifyPin(Profile& card, const CallArgs& args);           // CardOperations.cpp
std::int32_t GetCertificate(Profile& card, const CallArgs& args);      // CardCertificates.cpp
std::int32_t GetCertificateInfo(Profile& card, const CallArgs& args);
std::int32_t SignData(Profile& card, const CallArgs& args);            // CardCrypto.cpp
std::int32_t VerifySignedData(Profile& card, const CallArgs& args);
std::int32_t EncryptData(Profile& card, const CallArgs& args);
std::int32_t DecryptData(Profile& card, const CallArgs& args);


}  // namespace qelt::card
