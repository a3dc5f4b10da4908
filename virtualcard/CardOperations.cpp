#include "CardOperations.h"

#include <oleauto.h>

namespace qelt::card {

CallArgs::CallArgs(const DISPPARAMS& params) {
  // Invoke hands the arguments over last to first.
  for (UINT i = params.cArgs; i-- > 0;) args_.push_back(&params.rgvarg[i]);
}

std::wstring CallArgs::Text(size_t index) const {
  VARIANT text;
  VariantInit(&text);
  if (FAILED(VariantChangeType(&text, args_[index], 0, VT_BSTR))) return {};
  std::wstring out(text.bstrVal ? text.bstrVal : L"", text.bstrVal ? SysStringLen(text.bstrVal) : 0);
  VariantClear(&text);
  return out;
}

std::int16_t CallArgs::Short(size_t index) const {
  VARIANT number;
  VariantInit(&number);
  if (FAILED(VariantChangeType(&number, args_[index], 0, VT_I2))) return -1;
  return number.iVal;
}

void CallArgs::SetText(size_t index, const std::wstring& text) const {
  VARIANT* target = args_[index];
  if (target->vt == (VT_BYREF | VT_VARIANT)) target = target->pvarVal;
  else if (target->vt & VT_BYREF) return;  // not an output slot we can fill
  VariantClear(target);
  target->vt = VT_BSTR;
  target->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

// A card that cannot be reached fails to connect.
std::int32_t VerifyPin(Profile& card, const CallArgs& args) {
  if (!card.present) return 12001;
  return args.Text(0) == card.pin ? 0 : 12003;
}

const std::vector<Method>& Methods() {
  static const std::vector<Method> methods = {
      {6, L"VerifyPin", 1, 1, VerifyPin},
      {7, L"DecryptData", 3, 2, DecryptData},
      {8, L"EncryptData", 3, 2, EncryptData},
      {9, L"GetCertificateInfo", 2, 1, GetCertificateInfo},
      {10, L"SignData", 4, 3, SignData},
      {11, L"VerifySignedData", 4, 2, VerifySignedData},
      {12, L"GetCertificate", 3, 1, GetCertificate},
  };
  return methods;
}

}  // namespace qelt::card
