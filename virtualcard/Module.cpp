// The virtual card's in-process server: class factory, exports, registration.
#include <windows.h>
#include <olectl.h>

#include <new>
#include <string>

#include "VirtualCard.h"

using qelt::card::g_moduleRefs;
using qelt::card::kToolkitClassId;
using qelt::card::VirtualCard;

namespace {

HMODULE g_module = nullptr;

class Factory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = (iid == IID_IUnknown || iid == IID_IClassFactory) ? this : nullptr;
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { ++g_moduleRefs; return 2; }
  ULONG STDMETHODCALLTYPE Release() override { --g_moduleRefs; return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* card = new (std::nothrow) VirtualCard();
    if (!card) return E_OUTOFMEMORY;
    const HRESULT hr = card->QueryInterface(iid, out);
    card->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) ++g_moduleRefs; else --g_moduleRefs;
    return S_OK;
  }
};

Factory g_factory;

std::wstring ClassKey() {
  wchar_t guid[64];
  StringFromGUID2(kToolkitClassId, guid, 64);
  return std::wstring(L"CLSID\\") + guid;
}

bool SetValue(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  HKEY handle = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                      &handle, nullptr) != ERROR_SUCCESS)
    return false;
  const LONG rc = RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(handle);
  return rc == ERROR_SUCCESS;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

extern "C" HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (clsid != kToolkitClassId) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(iid, out);
}

extern "C" HRESULT __stdcall DllCanUnloadNow() { return g_moduleRefs == 0 ? S_OK : S_FALSE; }

extern "C" HRESULT __stdcall DllRegisterServer() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(g_module, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return E_FAIL;
  const std::wstring key = ClassKey();
  const bool ok = SetValue(key, nullptr, L"Virtual card (stand-in for the card toolkit)") &&
                  SetValue(key + L"\\InprocServer32", nullptr, path) &&
                  SetValue(key + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
  return ok ? S_OK : SELFREG_E_CLASS;
}

extern "C" HRESULT __stdcall DllUnregisterServer() {
  const std::wstring key = ClassKey();
  RegDeleteKeyW(HKEY_CLASSES_ROOT, (key + L"\\InprocServer32").c_str());
  RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
  return S_OK;
}
