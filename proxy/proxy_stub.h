// The proxy/stub part of the library: the entry points through which the
// exports hand requests to the platform's RPC marshaling engine, and the two
// routines the engine calls back from the generated tables. Also read by the
// generated C file, hence plain C declarations.
#ifndef BRISVEL_PROXY_PROXY_STUB_H_
#define BRISVEL_PROXY_PROXY_STUB_H_

#include "server/win32.h"

#ifdef __cplusplus
extern "C" {
#endif

// Records the library's instance handle on process attach; always TRUE.
BOOL ProxyStubAttach(HINSTANCE instance, DWORD reason, void* reserved);

// The engine's factory when `clsid` is the proxy/stub class; any other result
// means the class is not served here.
HRESULT ProxyStubGetClassObject(REFCLSID clsid, REFIID iid, void** out);

// S_OK when nothing made through the proxy/stub factory is alive, else S_FALSE.
HRESULT ProxyStubCanUnloadNow(void);

// Writes and removes the registration that lets the component runtime find
// this library's proxy/stub for IAgent.
HRESULT ProxyStubRegister(void);
HRESULT ProxyStubUnregister(void);

// Release of IAgent's stub; answers the remaining reference count.
ULONG STDMETHODCALLTYPE ProxyStubRelease(IRpcStubBuffer* stub);

// 1 with index 0 for IAgent, the one interface of the tables; 0 otherwise,
// leaving the index untouched.
int __stdcall ProxyStubLookupInterface(const IID* iid, int* index);

#ifdef __cplusplus
}
#endif

#endif  // BRISVEL_PROXY_PROXY_STUB_H_
