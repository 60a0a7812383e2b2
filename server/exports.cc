// The exports of Brisvel.DLL. The proxy/stub part takes its turn first in
// each; the module answers the rest.
#include "proxy/proxy_stub.h"
#include "server/class_table.h"
#include "server/module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* reserved) {
  if (!ProxyStubAttach(instance, reason, reserved)) return FALSE;
  return ModuleDllMain(instance, reason, reserved);
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  // Any answer but S_OK, success codes included, means the class is not the
  // proxy/stub's, and the class object table decides.
  if (ProxyStubGetClassObject(clsid, iid, out) == S_OK) return S_OK;
  return LookupClassObject(&g_classTable, clsid, iid, out);
}

STDAPI DllCanUnloadNow() {
  const HRESULT proxyStub = ProxyStubCanUnloadNow();
  if (FAILED(proxyStub) || proxyStub == S_FALSE) return proxyStub;
  return ModuleCanUnloadNow();
}

// DllRegisterServer and DllUnregisterServer are the registration driver's.
