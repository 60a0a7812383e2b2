// What the generated proxy tables name beyond the toolchain's headers, and the
// record they end with.
#ifndef BRISVEL_PROXY_PROXY_TABLES_H_
#define BRISVEL_PROXY_PROXY_TABLES_H_

// The tables are stubless: their proxy headers carry the proxy information.
#ifndef USE_STUBLESS_PROXY
#define USE_STUBLESS_PROXY
#endif
#include <rpcproxy.h>

#include "proxy/proxy_stub.h"

#ifdef __cplusplus
extern "C" {
#endif

// rpcrt4's IUnknown methods for stubless proxies, which it exports and the
// toolchain's C headers do not declare.
HRESULT STDMETHODCALLTYPE IUnknown_QueryInterface_Proxy(IUnknown* self, REFIID iid, void** out);
ULONG STDMETHODCALLTYPE IUnknown_AddRef_Proxy(IUnknown* self);
ULONG STDMETHODCALLTYPE IUnknown_Release_Proxy(IUnknown* self);

// The proxy file record for IAgent, as widl names it.
extern const ExtendedProxyFileInfo brisvel_ProxyFileInfo;

#ifdef __cplusplus
}
#endif

#endif  // BRISVEL_PROXY_PROXY_TABLES_H_
