// Creating the control from the built module and calling it by name, as a
// script host would.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <string>

#include "OcxModule.h"
#include "QELTReaderProj1.h"
#include "win/Resources.h"
#include "win/Text.h"

namespace qelt::test {

using win::ComPtr;

inline ComPtr<IQELTReader> NewControl(const OcxModule& module) {
  ComPtr<IClassFactory> factory;
  if (FAILED(module.GetClassObject(CLSID_QELTReader, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf()))))
    throw std::runtime_error("no class factory");
  ComPtr<IQELTReader> control;
  const HRESULT hr = factory->CreateInstance(nullptr, IID_IQELTReader, reinterpret_cast<void**>(control.GetAddressOf()));
  if (FAILED(hr)) throw std::runtime_error("control not created");
  return control;
}

// A VARIANT that clears itself and can be returned from helpers.
class Value : public VARIANT {
 public:
  Value() { ::VariantInit(this); }
  Value(Value&& other) noexcept : VARIANT(other) { ::VariantInit(&other); }
  Value& operator=(Value&&) = delete;
  ~Value() { ::VariantClear(this); }
};

// One call through IDispatch::Invoke; the failure's description lands in error.
struct DispatchCall {
  DispatchCall() = default;
  DispatchCall(DispatchCall&&) = default;
  HRESULT hr = S_OK;
  Value result;
  std::string error;  // ANSI
};

inline void Invoke(IDispatch* target, DISPID id, WORD flags, VARIANT* args, UINT count, DispatchCall& call) {
  DISPID named = DISPID_PROPERTYPUT;
  const bool put = flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
  DISPPARAMS params{args, put ? &named : nullptr, count, put ? 1u : 0u};
  win::ExceptionInfo exception;
  UINT argError = 0;
  call.hr = target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, &call.result, &exception, &argError);
  if (call.hr == DISP_E_EXCEPTION) {
    exception.Complete();
    call.error = win::BstrToAnsi(exception.bstrDescription);
  }
}

inline DISPID IdOf(IDispatch* target, const wchar_t* name) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  DISPID id = DISPID_UNKNOWN;
  target->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  return id;
}

inline DispatchCall CallByName(IDispatch* target, const wchar_t* name, WORD flags, VARIANT* args = nullptr,
                               UINT count = 0) {
  DispatchCall call;
  Invoke(target, IdOf(target, name), flags, args, count, call);
  return call;
}

inline std::string Text(const VARIANT& v) { return V_VT(&v) == VT_BSTR ? win::BstrToAnsi(V_BSTR(&v)) : "(not text)"; }

}  // namespace qelt::test
