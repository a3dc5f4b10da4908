// The class factory of each class the module serves, found through a table.
#pragma once
#include <windows.h>
#include <unknwn.h>

namespace qelt::control {

// Makes an object of one class (aggregated when outer is given) and answers
// the requested interface; failures are thrown.
using CreateFunction = HRESULT (*)(IUnknown* outer, REFIID riid, void** ppv);

class ClassFactory final : public IClassFactory {
 public:
  explicit ClassFactory(CreateFunction create) : create_(create) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  // References count as the server's outstanding factory references.
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
  STDMETHODIMP LockServer(BOOL lock) override;

 private:
  CreateFunction create_;
  volatile LONG refs_ = 0;
};

// The factory for a class ID, or null when the module does not serve it.
ClassFactory* FindClassFactory(REFCLSID clsid);

}  // namespace qelt::control
