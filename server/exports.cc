// The exports of Brisvel.DLL.
#include "server/win32.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, void*) { return TRUE; }

STDAPI DllGetClassObject(REFCLSID, REFIID, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow() { return S_OK; }

STDAPI DllRegisterServer() { return E_NOTIMPL; }

STDAPI DllUnregisterServer() { return E_NOTIMPL; }
