// Registration of the component categories a class declares in its map.
#ifndef BRISVEL_REGISTRATION_CATEGORIES_H_
#define BRISVEL_REGISTRATION_CATEGORIES_H_

#include "server/win32.h"

// One category of a class; a map of them ends with an entry of kind 0.
struct CategoryMapEntry {
  DWORD kind;           // 1: implemented; other non-zero: required; 0: end of map
  const GUID* category;
};

const DWORD kCategoryImplemented = 1;

// Registers or removes the categories of `clsid`; for removal also deletes
// the class's category keys that hold no subkeys. Only a refused
// registration is reported.
HRESULT UpdateClassCategories(REFCLSID clsid, const CategoryMapEntry* map, bool doRegister);

#endif  // BRISVEL_REGISTRATION_CATEGORIES_H_
