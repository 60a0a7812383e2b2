#include "server/class_table.h"

#include "server/errors.h"
#include "server/interface_map.h"
#include "server/module.h"

namespace {

// Calls `visit` with every entry of the table in order, skipping null slots.
template <class Visit>
void ForEachClass(ClassTable* table, Visit visit) {
  for (ObjectMapEntry* const* slot = table->tableStart; slot != table->tableEnd; ++slot) {
    if (*slot) visit(*slot);
  }
}

ObjectMapEntry* FindClassEntry(ClassTable* table, REFCLSID clsid) {
  for (ObjectMapEntry* const* slot = table->tableStart; slot != table->tableEnd; ++slot) {
    ObjectMapEntry* entry = *slot;
    if (entry && entry->createClassObject && IsSameIdentifier(*entry->clsid, clsid)) return entry;
  }
  return nullptr;
}

// The pointer is read outside the lock first, so every read must go to
// memory rather than to a value the compiler kept from earlier.
IUnknown* CachedClassObject(const ObjectMapEntry* entry) {
  return *static_cast<IUnknown* const volatile*>(&entry->classObject);
}

// Creates the class object once however many apartments ask at the same
// time: the lock is taken only while there is none yet, and the creator's
// QueryInterface stores the pointer as its last step.
HRESULT EnsureClassObject(ClassTable* table, ObjectMapEntry* entry) {
  if (CachedClassObject(entry)) return S_OK;
  CCriticalSectionLock lock(&table->criticalSection);
  if (entry->classObject) return S_OK;
  return entry->createClassObject(entry->createInstance, IID_IUnknown,
                                  reinterpret_cast<void**>(&entry->classObject));
}

}  // namespace

ClassTable::ClassTable(ObjectMapEntry* const* start, ObjectMapEntry* const* end,
                       HINSTANCE module)
    : size(sizeof(ClassTable)), typeLibraryModule(module), tableStart(start), tableEnd(end) {
  if (!criticalSection.IsReady()) g_initFailed = true;
}

ClassTable::~ClassTable() { TerminateClassTable(this); }

HRESULT LookupClassObject(ClassTable* table, REFCLSID clsid, REFIID iid, void** out) {
  RETURN_HR_IF(E_INVALIDARG, table == nullptr);
  RETURN_HR_IF(E_UNEXPECTED, table->size == 0);
  RETURN_HR_IF(E_POINTER, out == nullptr);
  *out = nullptr;
  ObjectMapEntry* entry = FindClassEntry(table, clsid);
  RETURN_HR_IF_NULL(CLASS_E_CLASSNOTAVAILABLE, entry);

  HRESULT result = EnsureClassObject(table, entry);
  if (IUnknown* classObject = CachedClassObject(entry)) {
    result = classObject->QueryInterface(iid, out);
  }
  if (result == S_OK && *out == nullptr) return CLASS_E_CLASSNOTAVAILABLE;
  return result;
}

void RunClassHooks(ClassTable* table, bool starting) {
  ForEachClass(table, [starting](ObjectMapEntry* entry) {
    if (entry->objectMain) entry->objectMain(starting);
  });
}

void TerminateClassTable(ClassTable* table) {
  if (table == nullptr || table->size == 0) return;
  ForEachClass(table, [](ObjectMapEntry* entry) {
    // Cleared before the release, so nothing the release runs can find the
    // pointer it is giving up.
    IUnknown* classObject = entry->classObject;
    entry->classObject = nullptr;
    if (classObject) classObject->Release();
  });
  table->criticalSection.Delete();
  table->size = 0;
}
