// The exports of Brisvel.DLL.
#include "server/module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* reserved) {
  return ModuleDllMain(instance, reason, reserved);
}

STDAPI DllGetClassObject(REFCLSID, REFIID, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow() { return ModuleCanUnloadNow(); }

STDAPI DllRegisterServer() { return E_NOTIMPL; }

STDAPI DllUnregisterServer() { return E_NOTIMPL; }
