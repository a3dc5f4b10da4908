#include "CardInformation.h"

#include <windows.h>
#include <oleauto.h>

#include <stdexcept>

#include "win/Resources.h"

namespace qelt::bench {
namespace {

// {BC6CA137-0C5C-4850-AE73-5AB35BD1DB8A}
const CLSID kToolkitClassId = {0xBC6CA137, 0x0C5C, 0x4850, {0xAE, 0x73, 0x5A, 0xB3, 0x5B, 0xD1, 0xDB, 0x8A}};

void Check(HRESULT hr, const char* what) {
  if (FAILED(hr)) throw std::runtime_error(what);
}

// Calls a toolkit method whose last argument is one output text.
std::wstring CallForText(IDispatch* card, DISPID id, VARIANTARG* inputs, UINT inputCount, UINT outputs) {
  win::Variant out[2];
  VARIANTARG args[4];
  // Invoke takes the arguments last to first: outputs first in the array.
  for (UINT i = 0; i < outputs; ++i) {
    args[i].vt = VT_BYREF | VT_VARIANT;
    args[i].pvarVal = &out[outputs - 1 - i];
  }
  for (UINT i = 0; i < inputCount; ++i) args[outputs + i] = inputs[inputCount - 1 - i];
  DISPPARAMS params{args, nullptr, inputCount + outputs, 0};
  win::Variant result;
  Check(card->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr, nullptr),
        "toolkit call failed");
  if (result.vt != VT_I4 || result.lVal != 0 || out[0].vt != VT_BSTR) throw std::runtime_error("toolkit code");
  return std::wstring(out[0].bstrVal, SysStringLen(out[0].bstrVal));
}

}  // namespace

std::wstring ReadCertificateInformation(const std::wstring& cardModule, const std::wstring& profile) {
  SetEnvironmentVariableW(L"QELT_CARD_PROFILE", profile.c_str());
  const win::UniqueModule module(LoadLibraryW(cardModule.c_str()));
  if (!module) throw std::runtime_error("cannot load the virtual card");
  using GetClassObject = HRESULT(__stdcall*)(REFCLSID, REFIID, void**);
  const auto getClassObject =
      reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(module.get(), "DllGetClassObject")));
  if (!getClassObject) throw std::runtime_error("no DllGetClassObject");

  std::wstring info;
  {
    win::ComPtr<IClassFactory> factory;
    Check(getClassObject(kToolkitClassId, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf())),
          "no class factory");
    win::ComPtr<IDispatch> card;
    Check(factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(card.GetAddressOf())),
          "cannot create the card");
    VARIANTARG certType;
    certType.vt = VT_I2;
    certType.iVal = 1;  // the signing certificate
    const std::wstring cert = CallForText(card.Get(), 12, &certType, 1, 2);
    const win::UniqueBstr certText(SysAllocStringLen(cert.data(), static_cast<UINT>(cert.size())));
    VARIANTARG certArg;
    certArg.vt = VT_BSTR;
    certArg.bstrVal = certText.get();
    info = CallForText(card.Get(), 9, &certArg, 1, 1);
  }  // the card objects go before their module
  SetEnvironmentVariableW(L"QELT_CARD_PROFILE", nullptr);
  return info;
}

}  // namespace qelt::bench
