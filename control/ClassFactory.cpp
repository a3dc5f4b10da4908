#include "ClassFactory.h"

#include "ComGuard.h"
#include "CreationErrorBox.h"
#include "QELTReaderProj1.h"
#include "ReaderControl.h"
#include "ServerState.h"

namespace qelt::control {

namespace {

struct ClassEntry {
  const CLSID* clsid;
  ClassFactory* factory;
};

ClassFactory g_readerFactory(&ReaderControl::Create);
const ClassEntry kClasses[] = {
    {&CLSID_QELTReader, &g_readerFactory},
};

}  // namespace

ClassFactory* FindClassFactory(REFCLSID clsid) {
  for (const ClassEntry& entry : kClasses)
    if (*entry.clsid == clsid) return entry.factory;
  return nullptr;
}

STDMETHODIMP ClassFactory::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IClassFactory) {
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) ClassFactory::AddRef() {
  server::FactoryReferenced();
  return static_cast<ULONG>(::InterlockedIncrement(&refs_));
}

STDMETHODIMP_(ULONG) ClassFactory::Release() {
  server::FactoryReleased();
  return static_cast<ULONG>(::InterlockedDecrement(&refs_));  // a static object: never freed
}

STDMETHODIMP ClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) try {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer && riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
  return create_(outer, riid, ppv);
} catch (...) {
  // Creation failed (typically no card toolkit): the user is told in a box.
  ShowDaxError(CurrentMessage());
  *ppv = nullptr;
  return E_UNEXPECTED;
}

STDMETHODIMP ClassFactory::LockServer(BOOL lock) {
  const HRESULT hr = ::CoLockObjectExternal(this, lock, TRUE);
  if (FAILED(hr)) return hr;
  if (lock) server::LockTaken();
  else server::LockReleased();
  return S_OK;
}

}  // namespace qelt::control
