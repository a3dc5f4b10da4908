#include "VirtualCard.h"

#include <oleauto.h>

#include <cwchar>

#include "CallLog.h"
#include "CardOperations.h"

namespace qelt::card {

// {BC6CA137-0C5C-4850-AE73-5AB35BD1DB8A}
const CLSID kToolkitClassId = {0xBC6CA137, 0x0C5C, 0x4850, {0xAE, 0x73, 0x5A, 0xB3, 0x5B, 0xD1, 0xDB, 0x8A}};
// {33E89B69-C1E7-4001-A0D9-67ACC8310716}
const IID kToolkitDispatchIid = {0x33E89B69, 0xC1E7, 0x4001, {0xA0, 0xD9, 0x67, 0xAC, 0xC8, 0x31, 0x07, 0x16}};

std::atomic<long> g_moduleRefs{0};

namespace {
struct Property { DISPID id; const wchar_t* name; };
constexpr Property kProperties[] = {
    {1, L"bLogAll"}, {2, L"nid"}, {3, L"logDirPath"}, {4, L"bSaveQELT"}};
}  // namespace

VirtualCard::VirtualCard() : profile_(LoadProfile()) { ++g_moduleRefs; }

VirtualCard::~VirtualCard() {
  SysFreeString(logDirPath_);
  --g_moduleRefs;
}

HRESULT VirtualCard::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == IID_IUnknown) *out = static_cast<IDispatch*>(this);
  else if ((iid == IID_IDispatch || iid == kToolkitDispatchIid) && profile_.offersDispatch)
    *out = static_cast<IDispatch*>(this);
  else if (iid == IID_IPersistStreamInit || iid == IID_IPersist)
    *out = static_cast<IPersistStreamInit*>(this);
  else return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

ULONG VirtualCard::AddRef() { return static_cast<ULONG>(++refs_); }

ULONG VirtualCard::Release() {
  const long left = --refs_;
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

HRESULT VirtualCard::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT VirtualCard::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}

HRESULT VirtualCard::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!names || !ids || count == 0) return E_POINTER;
  for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  for (const Method& m : Methods())
    if (_wcsicmp(names[0], m.name) == 0) ids[0] = m.id;
  for (const Property& p : kProperties)
    if (_wcsicmp(names[0], p.name) == 0) ids[0] = p.id;
  return ids[0] == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : (count > 1 ? DISP_E_UNKNOWNNAME : S_OK);
}

HRESULT VirtualCard::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                            EXCEPINFO* exception, UINT* argError) {
  if (!params) return E_POINTER;
  if (id >= 1 && id <= 4) return InvokeProperty(id, flags, params, result);
  for (const Method& m : Methods()) {
    if (m.id != id) continue;
    if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    if (params->cArgs != m.argCount) return DISP_E_BADPARAMCOUNT;
    LogCall(profile_, m, *params);
    // "raise.<Method>=text": the call itself fails, as a broken control's would.
    const auto raised = profile_.values.find(std::wstring(L"raise.") + m.name);
    if (raised != profile_.values.end()) {
      if (exception) {
        *exception = EXCEPINFO{};
        exception->bstrSource = SysAllocString(L"QELTVirtualCard");
        if (!raised->second.empty()) exception->bstrDescription = SysAllocString(raised->second.c_str());
        exception->scode = E_FAIL;
      }
      return DISP_E_EXCEPTION;
    }
    const CallArgs args(*params);
    std::int32_t code = profile_.Injected(m.name);
    if (code == 0) code = m.run(profile_, args);
    if (result) {
      VariantClear(result);
      result->vt = VT_I4;
      result->lVal = code;
    }
    return S_OK;
  }
  return DISP_E_MEMBERNOTFOUND;
}

HRESULT VirtualCard::InvokeProperty(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result) {
  const VARTYPE type = id == 2 ? VT_I2 : id == 3 ? VT_BSTR : VT_BOOL;
  if (flags & DISPATCH_PROPERTYGET) {
    if (!result) return E_POINTER;
    VariantInit(result);
    result->vt = type;
    if (id == 1) result->boolVal = logAll_;
    if (id == 2) result->iVal = nid_;
    if (id == 3) result->bstrVal = SysAllocString(logDirPath_ ? logDirPath_ : L"");
    if (id == 4) result->boolVal = saveQelt_;
    return S_OK;
  }
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    if (params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
    VARIANT value;
    VariantInit(&value);
    if (FAILED(VariantChangeType(&value, &params->rgvarg[0], 0, type))) return DISP_E_TYPEMISMATCH;
    if (id == 1) logAll_ = value.boolVal;
    if (id == 2) nid_ = value.iVal;
    if (id == 3) { SysFreeString(logDirPath_); logDirPath_ = value.bstrVal; value.vt = VT_EMPTY; }
    if (id == 4) saveQelt_ = value.boolVal;
    VariantClear(&value);
    return S_OK;
  }
  return DISP_E_MEMBERNOTFOUND;
}

HRESULT VirtualCard::GetClassID(CLSID* id) {
  if (!id) return E_POINTER;
  *id = kToolkitClassId;
  return S_OK;
}

HRESULT VirtualCard::GetSizeMax(ULARGE_INTEGER* size) {
  if (!size) return E_POINTER;
  size->QuadPart = 0;
  return S_OK;
}

HRESULT VirtualCard::InitNew() { return S_OK; }

}  // namespace qelt::card
