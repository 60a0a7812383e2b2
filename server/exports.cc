// The exports of Brisvel.DLL.
#include "server/class_table.h"
#include "server/module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* reserved) {
  return ModuleDllMain(instance, reason, reserved);
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  return LookupClassObject(&g_classTable, clsid, iid, out);
}

STDAPI DllCanUnloadNow() { return ModuleCanUnloadNow(); }

STDAPI DllRegisterServer() { return E_NOTIMPL; }

STDAPI DllUnregisterServer() { return E_NOTIMPL; }
