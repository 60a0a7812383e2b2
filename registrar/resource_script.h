// Registry scripts carried as "REGISTRY" resources of the module's own file,
// run with the standard variables "Module" and "Module_Raw".
#ifndef BRISVEL_REGISTRAR_RESOURCE_SCRIPT_H_
#define BRISVEL_REGISTRAR_RESOURCE_SCRIPT_H_

#include "server/win32.h"

class CServerModule;

// A caller's replacement variable; a list of them ends with a null name.
struct ReplacementEntry {
  const wchar_t* name;
  const wchar_t* value;
};

// Runs "REGISTRY" resource `resourceId` of the module's file in one pass,
// with the caller's `entries` (may be null), the module's variables and the
// standard ones, added in that order.
HRESULT ProcessRegistryResource(CServerModule* module, UINT resourceId, bool doRegister,
                                const ReplacementEntry* entries);

#endif  // BRISVEL_REGISTRAR_RESOURCE_SCRIPT_H_
