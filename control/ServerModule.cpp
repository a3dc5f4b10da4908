// The module's entry point and the four exports of the in-process server.
#include <windows.h>

#include "ClassFactory.h"
#include "FormWindow.h"
#include "Registration.h"
#include "ServerState.h"

using namespace qelt::control;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) ::DisableThreadLibraryCalls(instance);
  // Unloaded while the process goes on: our window class must not outlive us.
  if (reason == DLL_PROCESS_DETACH && !reserved) FormWindow::UnregisterClass();
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  ClassFactory* factory = FindClassFactory(clsid);
  if (!factory) return CLASS_E_CLASSNOTAVAILABLE;
  return factory->QueryInterface(riid, ppv);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return server::CanUnload() ? S_OK : S_FALSE; }

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() try {
  RegisterServer(HKEY_CLASSES_ROOT);
  return S_OK;
} catch (...) {
  return E_FAIL;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() try {
  UnregisterServer(HKEY_CLASSES_ROOT);
  return S_OK;
} catch (...) {
  return E_FAIL;
}
