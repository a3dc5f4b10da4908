// The built control module loaded into the test process, with its exports.
#pragma once
#include <windows.h>

#include <stdexcept>
#include <string>

#include "TestSupport.h"

namespace qelt::test {

class OcxModule {
 public:
  explicit OcxModule(const std::wstring& path = WinPath(QELT_OCX)) : module_(::LoadLibraryW(path.c_str())) {
    if (!module_) throw std::runtime_error("cannot load the control module");
  }
  ~OcxModule() { ::FreeLibrary(module_); }
  OcxModule(const OcxModule&) = delete;
  OcxModule& operator=(const OcxModule&) = delete;

  HRESULT RegisterServer() const { return Call<HRESULT(STDAPICALLTYPE*)()>("DllRegisterServer")(); }
  HRESULT UnregisterServer() const { return Call<HRESULT(STDAPICALLTYPE*)()>("DllUnregisterServer")(); }
  HRESULT CanUnloadNow() const { return Call<HRESULT(STDAPICALLTYPE*)()>("DllCanUnloadNow")(); }
  HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) const {
    return Call<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>("DllGetClassObject")(clsid, riid, ppv);
  }
  HMODULE Handle() const { return module_; }

 private:
  template <typename Fn>
  Fn Call(const char* name) const {
    auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module_, name)));
    if (!fn) throw std::runtime_error(std::string("missing export ") + name);
    return fn;
  }
  HMODULE module_;
};

}  // namespace qelt::test
