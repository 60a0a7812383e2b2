// The class object table: one entry per creatable class, the cached class
// object of each, and the lookup behind DllGetClassObject.
#ifndef BRISVEL_SERVER_CLASS_TABLE_H_
#define BRISVEL_SERVER_CLASS_TABLE_H_

#include <stddef.h>

#include "server/critical_section.h"
#include "server/win32.h"

struct CategoryMapEntry;

// Builds an instance of a class, aggregated when `outer` is given.
using InstanceCreator = HRESULT (*)(IUnknown* outer, REFIID iid, void** out);

// Builds the class object that creates instances through `createInstance`.
using ClassObjectCreator = HRESULT (*)(InstanceCreator createInstance, REFIID iid, void** out);

struct ObjectMapEntry {
  const CLSID* clsid;
  HRESULT(WINAPI* updateRegistration)(BOOL doRegister);
  ClassObjectCreator createClassObject;  // null: the entry serves no class object
  InstanceCreator createInstance;
  IUnknown* classObject;                 // cached on first request; one reference
  DWORD registrationCookie;
  const wchar_t* (*getDescription)();
  const CategoryMapEntry* (*getCategoryMap)();  // null map: no categories
  void (*objectMain)(bool starting);
};

// The classes of one module and the lock that guards their first creation.
struct ClassTable {
  ClassTable(ObjectMapEntry* const* start, ObjectMapEntry* const* end, HINSTANCE module);
  ~ClassTable();
  ClassTable(const ClassTable&) = delete;
  ClassTable& operator=(const ClassTable&) = delete;

  ULONG size;  // non-zero while live
  HINSTANCE typeLibraryModule;
  ObjectMapEntry* const* tableStart;
  ObjectMapEntry* const* tableEnd;  // exclusive; null slots are skipped
  CCriticalSection criticalSection;  // not ready when its initialisation failed
};

// The library's classes, the slots of its class table.
extern ObjectMapEntry* const g_objectMap[];
extern const size_t g_objectMapSlots;

// The library's class table.
extern ClassTable g_classTable;

// Hands out the interface `iid` of the class object of `clsid`, creating the
// class object on the first request.
HRESULT LookupClassObject(ClassTable* table, REFCLSID clsid, REFIID iid, void** out);

// Runs every class's start-up (`starting`) or shut-down hook, in table order.
void RunClassHooks(ClassTable* table, bool starting);

// Releases the cached class objects; later lookups answer E_UNEXPECTED.
void TerminateClassTable(ClassTable* table);

#endif  // BRISVEL_SERVER_CLASS_TABLE_H_
