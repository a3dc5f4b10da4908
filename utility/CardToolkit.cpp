#include "CardToolkit.h"

#include <ocidl.h>

#include <memory>
#include <vector>

#include "Exception.h"
#include "ToolkitDispatchIds.h"
#include "win/Text.h"

namespace qelt {

// {BC6CA137-0C5C-4850-AE73-5AB35BD1DB8A}
const CLSID TQELT::kClassId = {0xBC6CA137, 0x0C5C, 0x4850, {0xAE, 0x73, 0x5A, 0xB3, 0x5B, 0xD1, 0xDB, 0x8A}};
// {33E89B69-C1E7-4001-A0D9-67ACC8310716}
const IID TQELT::kDispatchIid = {0x33E89B69, 0xC1E7, 0x4001, {0xA0, 0xD9, 0x67, 0xAC, 0xC8, 0x31, 0x07, 0x16}};

namespace {

// One positional argument: an input text, an input 16-bit integer, or an output text.
struct Arg {
  const std::string* text = nullptr;
  std::int16_t number = 0;
  std::string* out = nullptr;
};
Arg In(const std::string& text) { return Arg{&text, 0, nullptr}; }
Arg In(std::int16_t number) { return Arg{nullptr, number, nullptr}; }
Arg Out(std::string& out) { return Arg{nullptr, 0, &out}; }

[[noreturn]] void ThrowInvokeFailure(HRESULT hr, win::ExceptionInfo& info) {
  std::string message;
  if (hr == DISP_E_EXCEPTION) {
    info.Complete();
    message = win::BstrToAnsi(info.bstrDescription);
    if (info.scode) hr = info.scode;
  }
  if (message.empty()) message = win::ComErrorMessage(hr);
  throw Exception(message);
}

std::string VariantText(VARIANT& value) {
  if (value.vt == VT_EMPTY || value.vt == VT_NULL) return {};
  win::Variant text;
  if (FAILED(::VariantChangeType(&text, &value, 0, VT_BSTR))) return {};
  return win::BstrToAnsi(text.bstrVal);
}

// Calls a toolkit method by identifier; IDispatch::Invoke takes the
// arguments last to first.
std::int32_t Call(IDispatch* target, DISPID id, std::vector<Arg> args) {
  const size_t n = args.size();
  std::unique_ptr<win::Variant[]> owned(new win::Variant[n]);
  std::unique_ptr<win::Variant[]> outputs(new win::Variant[n]);
  // The texts handed over (a PIN among them) are wiped before they are freed.
  struct Wipe {
    win::Variant* texts;
    size_t count;
    ~Wipe() {
      for (size_t i = 0; i < count; ++i)
        if (texts[i].vt == VT_BSTR && texts[i].bstrVal)
          ::SecureZeroMemory(texts[i].bstrVal, ::SysStringByteLen(texts[i].bstrVal));
    }
  } wipe{owned.get(), n};
  std::vector<VARIANTARG> raw(n);
  for (size_t i = 0; i < n; ++i) {
    VARIANTARG& slot = raw[n - 1 - i];
    if (args[i].out) {
      slot.vt = VT_BYREF | VT_VARIANT;
      slot.pvarVal = &outputs[i];
    } else if (args[i].text) {
      owned[i].vt = VT_BSTR;
      owned[i].bstrVal = win::AnsiToBstr(*args[i].text);
      slot = owned[i];
    } else {
      slot.vt = VT_I2;
      slot.iVal = args[i].number;
    }
  }
  DISPPARAMS params{raw.data(), nullptr, static_cast<UINT>(n), 0};
  win::Variant result;
  win::ExceptionInfo info;
  UINT argError = 0;
  const HRESULT hr = target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                    &result, &info, &argError);
  if (FAILED(hr)) ThrowInvokeFailure(hr, info);

  win::Variant code;
  if (FAILED(::VariantChangeType(&code, &result, 0, VT_I4)))
    throw Exception(win::ComErrorMessage(DISP_E_TYPEMISMATCH));
  if (code.lVal == 0) {
    for (size_t i = 0; i < n; ++i)
      if (args[i].out) *args[i].out = VariantText(outputs[i]);
  }
  return code.lVal;
}

}  // namespace

TQELT::TQELT(const CLSID& classId) {
  const HRESULT hr = ::CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                        reinterpret_cast<void**>(control_.GetAddressOf()));
  if (FAILED(hr)) throw Exception(win::ComErrorMessage(hr));
  // Initialise it as a container initialises a control it creates.
  win::ComPtr<IPersistStreamInit> persist;
  if (SUCCEEDED(control_.As(&persist))) persist->InitNew();
}

IDispatch* TQELT::Dispatch() {
  if (!dispatch_) {
    if (FAILED(control_->QueryInterface(kDispatchIid, reinterpret_cast<void**>(dispatch_.GetAddressOf()))))
      throw Exception("Interface not supported");
  }
  return dispatch_.Get();
}

std::int32_t TQELT::VerifyPin(const std::string& pin) { return Call(Dispatch(), toolkit::kVerifyPin, {In(pin)}); }

std::int32_t TQELT::DecryptData(const std::string& cipher, const std::string& pin, std::string& plain) {
  return Call(Dispatch(), toolkit::kDecryptData, {In(cipher), In(pin), Out(plain)});
}

std::int32_t TQELT::EncryptData(const std::string& plain, const std::string& cert, std::string& cipher) {
  return Call(Dispatch(), toolkit::kEncryptData, {In(plain), In(cert), Out(cipher)});
}

std::int32_t TQELT::GetCertificateInfo(const std::string& cert, std::string& info) {
  return Call(Dispatch(), toolkit::kGetCertificateInfo, {In(cert), Out(info)});
}

std::int32_t TQELT::SignData(std::int16_t signTyp, const std::string& tbs, const std::string& pin,
                             std::string& signature) {
  return Call(Dispatch(), toolkit::kSignData, {In(signTyp), In(tbs), In(pin), Out(signature)});
}

std::int32_t TQELT::VerifySignedData(const std::string& signature, const std::string& tbs,
                                     std::string& signer, std::string& signingTime) {
  return Call(Dispatch(), toolkit::kVerifySignedData, {In(signature), In(tbs), Out(signer), Out(signingTime)});
}

std::int32_t TQELT::GetCertificate(std::int16_t certType, std::string& cert, std::string& cardNo) {
  return Call(Dispatch(), toolkit::kGetCertificate, {In(certType), Out(cert), Out(cardNo)});
}

}  // namespace qelt
