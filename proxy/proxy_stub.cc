// The engine's records hold interface tables in their C form (the ...Vtbl
// structs), which the platform's headers declare only with CINTERFACE.
#define CINTERFACE
#include "proxy/proxy_stub.h"

#include <string.h>

#include "proxy/proxy_tables.h"
#include "server/errors.h"

namespace {

// The library's instance handle, from which the engine's registration takes
// the file name; set at process attach, never cleared.
HINSTANCE g_proxyModule = nullptr;

// The engine's state for this library's proxy/stub factory. Only the engine
// reads or writes it; the library passes its address.
CStdPSFactoryBuffer g_proxyFactory = {};
static_assert(sizeof(g_proxyFactory) == 4 * sizeof(void*),
              "the engine's factory record is four pointer-sized fields");

// The proxy files the engine walks: IAgent's record, then the end.
const ProxyFileInfo* g_proxyFileList[] = {&brisvel_ProxyFileInfo, nullptr};

// The class under which the engine serves and registers the proxy/stub: the
// interface of the first stub table, so IAgent's own identifier.
const CLSID* ProxyStubClassId() {
  const CInterfaceStubVtbl* first = g_proxyFileList[0]->pStubVtblList[0];
  return first ? first->header.piid : nullptr;
}

// The factory record in the form the engine's stub release takes it.
IPSFactoryBuffer* FactoryRecord() { return reinterpret_cast<IPSFactoryBuffer*>(&g_proxyFactory); }

}  // namespace

BOOL ProxyStubAttach(HINSTANCE instance, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) g_proxyModule = instance;
  return TRUE;
}

HRESULT ProxyStubGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  // The engine would write through a null out pointer for its own class.
  RETURN_HR_IF(E_POINTER, out == nullptr);
  return ::NdrDllGetClassObject(clsid, iid, out, g_proxyFileList, ProxyStubClassId(),
                                &g_proxyFactory);
}

HRESULT ProxyStubCanUnloadNow() { return ::NdrDllCanUnloadNow(&g_proxyFactory); }

HRESULT ProxyStubRegister() {
  return ::NdrDllRegisterProxy(g_proxyModule, g_proxyFileList, ProxyStubClassId());
}

HRESULT ProxyStubUnregister() {
  return ::NdrDllUnregisterProxy(g_proxyModule, g_proxyFileList, ProxyStubClassId());
}

ULONG STDMETHODCALLTYPE ProxyStubRelease(IRpcStubBuffer* stub) {
  return ::NdrCStdStubBuffer2_Release(stub, FactoryRecord());
}

int __stdcall ProxyStubLookupInterface(const IID* iid, int* index) {
  const IID* known = g_proxyFileList[0]->pProxyVtblList[0]->header.piid;
  if (!iid || !index || memcmp(iid, known, sizeof(IID)) != 0) return 0;
  *index = 0;
  return 1;
}
