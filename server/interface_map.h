// The interface tables every QueryInterface of the library walks: one entry
// per interface, ended by an entry whose handler is null.
#ifndef BRISVEL_SERVER_INTERFACE_MAP_H_
#define BRISVEL_SERVER_INTERFACE_MAP_H_

#include "server/win32.h"

// Answers a request for `iid` on `object`; `data` is the entry's own value.
using InterfaceHandler = HRESULT (*)(void* object, REFIID iid, void** out, DWORD data);

struct InterfaceMapEntry {
  const IID* interfaceId;    // null: a blind entry, tried for every request
  DWORD data;                // offset of the interface, or the handler's argument
  InterfaceHandler handler;  // null ends the table; kOffsetEntry marks an offset entry
};

// The handler value of an entry that hands out the object plus `data` bytes.
inline const InterfaceHandler kOffsetEntry = reinterpret_cast<InterfaceHandler>(1);

// True when the identifiers are equal as four 32-bit words.
bool IsSameIdentifier(const GUID& left, const GUID& right);

// Hands out the interface `iid` of `object` from `table`, with one reference.
HRESULT QueryInterfaceFromTable(void* object, const InterfaceMapEntry* table, REFIID iid,
                                void** out);

#endif  // BRISVEL_SERVER_INTERFACE_MAP_H_
