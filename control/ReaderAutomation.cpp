// IQELTReader and IDispatch: thin guarded members over the form, with the
// dispatch served by the type library's description of the interface.
#include <new>

#include "ComGuard.h"
#include "Exception.h"
#include "FailureText.h"
#include "ReaderControl.h"
#include "VariantText.h"
#include "win/Text.h"

namespace qelt::control {

namespace {

BSTR NewBstr(const std::string& ansi) {
  BSTR text = win::AnsiToBstr(ansi);
  if (!text) throw std::bad_alloc();
  return text;
}

// A member called without a place for its result fails like any other.
void RequireOut(const void* out) {
  if (!out) throw Exception("Invalid pointer operation");
}

void SetText(VARIANT* value, const std::string& ansi) {
  V_BSTR(value) = NewBstr(ansi);
  V_VT(value) = VT_BSTR;
}

}  // namespace

HRESULT ReaderControl::Fail() noexcept { return AutomationFailure(class_.dispatchIid, class_.progId); }

// IDispatch

STDMETHODIMP ReaderControl::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

STDMETHODIMP ReaderControl::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  *info = class_.dispatch.Get();
  (*info)->AddRef();
  return S_OK;
}

STDMETHODIMP ReaderControl::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  return class_.dispatch->GetIDsOfNames(names, count, ids);
}

STDMETHODIMP ReaderControl::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* exception, UINT* argError) {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  // No member takes a reference: an assignment by reference is a plain put.
  if (flags & DISPATCH_PROPERTYPUTREF) flags = static_cast<WORD>((flags & ~DISPATCH_PROPERTYPUTREF) | DISPATCH_PROPERTYPUT);
  return class_.vtable->Invoke(static_cast<IQELTReader*>(this), id, flags, params, result, exception, argError);
}

HRESULT ReaderControl::PutProperty(DISPID id, VARIANT& value) {
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{&value, &named, 1, 1};
  return Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr);
}

// ISupportErrorInfo, IProvideClassInfo

STDMETHODIMP ReaderControl::InterfaceSupportsErrorInfo(REFIID riid) {
  // The automation members report as IQELTReader, which is the form's.
  if (riid == class_.dispatchIid) return S_FALSE;
  return riid == IID_IUnknown || Find(riid) ? S_OK : S_FALSE;
}

STDMETHODIMP ReaderControl::GetClassInfo(ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = class_.coclass.Get();
  (*info)->AddRef();
  return S_OK;
}

// IQELTReader

STDMETHODIMP ReaderControl::readCard() try {
  form_->readCard();
  return S_OK;
} catch (...) {
  return Fail();
}

STDMETHODIMP ReaderControl::checkPin(VARIANT pin) try {
  form_->checkPin(VariantToAnsi(pin));
  return S_OK;
} catch (...) {
  return Fail();
}

STDMETHODIMP ReaderControl::checkCard(VARIANT pin) try {
  // checkPin's own implementation, not through COM: it leaves its error
  // information for this thread, and taking it clears it.
  const HRESULT hr = checkPin(pin);
  if (SUCCEEDED(hr)) return S_OK;
  win::ComPtr<IErrorInfo> info;
  win::UniqueBstr description;
  if (::GetErrorInfo(0, &info) == S_OK) info->GetDescription(description.put());
  throw Exception(CheckCardMessage(win::BstrToAnsi(description.get()), hr));
} catch (...) {
  return Fail();
}

STDMETHODIMP ReaderControl::checkXKMS() try {
  form_->checkXKMS();
  return S_OK;
} catch (...) {
  return Fail();
}

HRESULT ReaderControl::GetCardField(TQELTReader::Field field, VARIANT* value) try {
  RequireOut(value);
  ::VariantInit(value);
  SetText(value, form_->CardField(field));
  return S_OK;
} catch (...) {
  return Fail();
}

STDMETHODIMP ReaderControl::get_serialNumber(VARIANT* v) { return GetCardField(&TCardInfo::certSerialNumber, v); }
STDMETHODIMP ReaderControl::get_ICCardID(VARIANT* v) { return GetCardField(&TCardInfo::icCardId, v); }
STDMETHODIMP ReaderControl::get_issuerName(VARIANT* v) { return GetCardField(&TCardInfo::issuerName, v); }
STDMETHODIMP ReaderControl::get_subjectName(VARIANT* v) { return GetCardField(&TCardInfo::subjectName, v); }
STDMETHODIMP ReaderControl::get_name(VARIANT* v) { return GetCardField(&TCardInfo::name, v); }
STDMETHODIMP ReaderControl::get_idno(VARIANT* v) { return GetCardField(&TCardInfo::idno, v); }
STDMETHODIMP ReaderControl::get_usage(VARIANT* v) { return GetCardField(&TCardInfo::usage, v); }
STDMETHODIMP ReaderControl::get_email(VARIANT* v) { return GetCardField(&TCardInfo::email, v); }
STDMETHODIMP ReaderControl::get_notBefore(VARIANT* v) { return GetCardField(&TCardInfo::notBefore, v); }
STDMETHODIMP ReaderControl::get_notAfter(VARIANT* v) { return GetCardField(&TCardInfo::notAfter, v); }

STDMETHODIMP ReaderControl::get_cardIssType(VARIANT* value) try {
  RequireOut(value);
  ::VariantInit(value);
  SetText(value, form_->cardIssType());
  return S_OK;
} catch (...) {
  return Fail();
}

HRESULT ReaderControl::GetText(std::string (TQELTReader::*getter)() const, VARIANT* value) try {
  RequireOut(value);
  ::VariantInit(value);
  SetText(value, ((*form_).*getter)());
  return S_OK;
} catch (...) {
  return Fail();
}

HRESULT ReaderControl::PutText(void (TQELTReader::*setter)(const std::string&), const VARIANT& value) try {
  ((*form_).*setter)(VariantToAnsi(value));
  return S_OK;
} catch (...) {
  return Fail();
}

STDMETHODIMP ReaderControl::get_proxyServer(VARIANT* v) { return GetText(&TQELTReader::proxyServer, v); }
STDMETHODIMP ReaderControl::put_proxyServer(VARIANT v) { return PutText(&TQELTReader::set_proxyServer, v); }
STDMETHODIMP ReaderControl::get_proxyUser(VARIANT* v) { return GetText(&TQELTReader::proxyUser, v); }
STDMETHODIMP ReaderControl::put_proxyUser(VARIANT v) { return PutText(&TQELTReader::set_proxyUser, v); }
STDMETHODIMP ReaderControl::get_proxyPass(VARIANT* v) { return GetText(&TQELTReader::proxyPass, v); }
STDMETHODIMP ReaderControl::put_proxyPass(VARIANT v) { return PutText(&TQELTReader::set_proxyPass, v); }

STDMETHODIMP ReaderControl::get_proxyPort(LONG* value) try {
  RequireOut(value);
  *value = form_->proxyPort();
  return S_OK;
} catch (...) {
  return Fail();
}

STDMETHODIMP ReaderControl::put_proxyPort(LONG value) {
  form_->set_proxyPort(value);
  return S_OK;
}

STDMETHODIMP ReaderControl::get_ver(BSTR* value) try {
  RequireOut(value);
  *value = nullptr;
  *value = NewBstr(TQELTReader::ver());
  return S_OK;
} catch (...) {
  return Fail();
}

}  // namespace qelt::control
