#include "registration/categories.h"

#include <comcat.h>
#include <string.h>

#include "server/convert.h"
#include "server/handle.h"
#include "server/platform.h"

namespace {

const char* const kCategoryKeys[] = {"\\Required Categories", "\\Implemented Categories"};

bool IsNullGuid(REFCLSID clsid) {
  static const GUID kNull = {};
  return memcmp(&clsid, &kNull, sizeof kNull) == 0;
}

// One call of the manager for one entry of the map.
HRESULT UpdateCategory(ICatRegister* manager, REFCLSID clsid, const CategoryMapEntry& entry,
                       bool doRegister) {
  CATID category = *entry.category;
  CLSID target = clsid;
  const bool implemented = entry.kind == kCategoryImplemented;
  if (doRegister) {
    return implemented ? manager->RegisterClassImplCategories(target, 1, &category)
                       : manager->RegisterClassReqCategories(target, 1, &category);
  }
  return implemented ? manager->UnRegisterClassImplCategories(target, 1, &category)
                     : manager->UnRegisterClassReqCategories(target, 1, &category);
}

// Deletes HKCR\`path` when it opens and holds no subkeys; failures are quiet.
void DeleteIfEmpty(const char* path) {
  CKeyHandle key;
  if (g_platform.RegOpenKeyExA(HKEY_CLASSES_ROOT, path, 0, KEY_READ, key.Receive()) !=
      ERROR_SUCCESS) {
    return;
  }
  DWORD subkeys = 0;
  const LONG query = g_platform.RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, &subkeys,
                                                 nullptr, nullptr, nullptr, nullptr, nullptr,
                                                 nullptr, nullptr);
  key.Reset();
  if (query == ERROR_SUCCESS && subkeys == 0) g_platform.RegDeleteKeyA(HKEY_CLASSES_ROOT, path);
}

// Removes the class's category keys that are left without subkeys.
void DeleteEmptyCategoryKeys(REFCLSID clsid) {
  wchar_t wide[64];
  if (!::StringFromGUID2(clsid, wide, 64)) return;
  ConversionScratch scratch;
  const char* text = NARROW_TEXT(scratch, wide, GetConversionCodePage(), nullptr);
  if (!text) return;
  for (const char* suffix : kCategoryKeys) {
    char path[128];
    if (strlen("CLSID\\") + strlen(text) + strlen(suffix) >= sizeof path) continue;
    strcpy(path, "CLSID\\");
    strcat(path, text);
    strcat(path, suffix);
    DeleteIfEmpty(path);
  }
}

}  // namespace

HRESULT UpdateClassCategories(REFCLSID clsid, const CategoryMapEntry* map, bool doRegister) {
  if (!map || IsNullGuid(clsid)) return S_OK;
  CInterfacePtr<ICatRegister> manager;
  // Without a category manager the categories are skipped, not failed.
  if (FAILED(g_platform.CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr,
                                         CLSCTX_INPROC_SERVER, IID_ICatRegister,
                                         reinterpret_cast<void**>(manager.Receive())))) {
    return S_OK;
  }
  for (const CategoryMapEntry* entry = map; entry->kind != 0; ++entry) {
    const HRESULT result = UpdateCategory(manager.Get(), clsid, *entry, doRegister);
    if (doRegister && FAILED(result)) return result;
  }
  if (!doRegister) DeleteEmptyCategoryKeys(clsid);
  return S_OK;
}
