#include "server/interface_map.h"

#include <string.h>

#include "server/errors.h"

namespace {

HRESULT HandOutAtOffset(void* object, DWORD offset, void** out) {
  IUnknown* unknown = reinterpret_cast<IUnknown*>(static_cast<char*>(object) + offset);
  unknown->AddRef();
  *out = unknown;
  return S_OK;
}

}  // namespace

bool IsSameIdentifier(const GUID& left, const GUID& right) {
  DWORD a[4];
  DWORD b[4];
  memcpy(a, &left, sizeof a);
  memcpy(b, &right, sizeof b);
  return a[0] == b[0] && a[1] == b[1] && a[2] == b[2] && a[3] == b[3];
}

HRESULT QueryInterfaceFromTable(void* object, const InterfaceMapEntry* table, REFIID iid,
                                void** out) {
  RETURN_HR_IF(E_INVALIDARG, object == nullptr || table == nullptr);
  RETURN_HR_IF(E_POINTER, out == nullptr);
  *out = nullptr;
  // The first entry is always an offset entry, and IUnknown is its interface
  // whatever identifier it names.
  if (IsSameIdentifier(iid, IID_IUnknown)) return HandOutAtOffset(object, table->data, out);

  for (const InterfaceMapEntry* entry = table; entry->handler; ++entry) {
    const bool blind = entry->interfaceId == nullptr;
    if (!blind && !IsSameIdentifier(*entry->interfaceId, iid)) continue;
    if (entry->handler == kOffsetEntry) return HandOutAtOffset(object, entry->data, out);
    const HRESULT result = entry->handler(object, iid, out, entry->data);
    if (result == S_OK) return S_OK;
    // A handler that did not answer has handed nothing out; whatever it left
    // in the out pointer must not reach the caller as an interface.
    *out = nullptr;
    if (FAILED(result) && !blind) return result;
  }
  return E_NOINTERFACE;
}
