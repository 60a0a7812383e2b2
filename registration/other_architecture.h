// A 32-bit and a 64-bit Brisvel.DLL registered on one machine: each has its
// own view of HKCR\CLSID and HKCR\Interface, and they share the ProgIDs, the
// AppID and the type library's version key, which removing one of them must
// leave to the other.
#ifndef BRISVEL_REGISTRATION_OTHER_ARCHITECTURE_H_
#define BRISVEL_REGISTRATION_OTHER_ARCHITECTURE_H_

#include "server/win32.h"

struct ClassTable;

// True when a class of `table` is registered, in the other architecture's
// view of HKCR\CLSID, to a module other than the table's own.
bool IsRegisteredByOtherArchitecture(const ClassTable& table);

// Removes HKCR\CLSID\{clsid} with everything below it from this
// architecture's view; a class that is not there is removed already.
HRESULT RemoveClassKey(REFCLSID clsid);

#endif  // BRISVEL_REGISTRATION_OTHER_ARCHITECTURE_H_
