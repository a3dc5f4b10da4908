// The virtual card control: the toolkit's class and dispatch interface,
// played from a card profile.
#pragma once
#include <ocidl.h>

#include <atomic>

#include "Profile.h"

namespace qelt::card {

extern const CLSID kToolkitClassId;
extern const IID kToolkitDispatchIid;

// Live objects and server locks, for DllCanUnloadNow.
extern std::atomic<long> g_moduleRefs;

class VirtualCard final : public IDispatch, public IPersistStreamInit {
 public:
  VirtualCard();
  ~VirtualCard();

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO*, UINT* argError) override;
  // IPersistStreamInit: a card keeps no design-time state.
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* id) override;
  HRESULT STDMETHODCALLTYPE IsDirty() override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE Load(IStream*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Save(IStream*, BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size) override;
  HRESULT STDMETHODCALLTYPE InitNew() override;

 private:
  HRESULT InvokeProperty(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result);

  std::atomic<long> refs_{1};
  Profile profile_;
  // The toolkit's published properties, kept but never used by the card.
  VARIANT_BOOL logAll_ = VARIANT_FALSE;
  short nid_ = 0;
  BSTR logDirPath_ = nullptr;
  VARIANT_BOOL saveQelt_ = VARIANT_FALSE;
};

}  // namespace qelt::card
