#include "registration/other_architecture.h"

#include "registrar/registry_key.h"
#include "server/class_table.h"
#include "server/errors.h"
#include "server/handle.h"
#include "server/platform.h"

namespace {

// The other architecture's view of the registry. Where there is none (32-bit
// Windows, or a key the system does not redirect, such as a redirected
// HKCR's private key), the flag opens this architecture's own view, and the
// module comparison below tells the two apart.
const REGSAM kOtherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" for `guid`, in `text`.
void FormatGuid(REFGUID guid, char (&text)[39]) {
  wsprintfA(text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
            static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
            guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
            guid.Data4[6], guid.Data4[7]);
}

// True when the other view names a server for `clsid` other than `module`.
// The key opens through the table of platform calls, so that a test's
// stand-in registry answers for the one the library writes; the table has no
// value query, and a key whose server cannot be read is taken for no server.
bool IsServedByOtherModule(REFCLSID clsid, HMODULE module) {
  char guid[39];
  FormatGuid(clsid, guid);
  char path[64];
  wsprintfA(path, "CLSID\\%s\\InprocServer32", guid);
  CKeyHandle key;
  if (g_platform.RegOpenKeyExA(HKEY_CLASSES_ROOT, path, 0, KEY_QUERY_VALUE | kOtherView,
                               key.Receive()) != ERROR_SUCCESS) {
    return false;
  }
  char server[MAX_PATH] = {};
  DWORD size = sizeof server - 1;
  if (::RegQueryValueExA(key.Get(), nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(server),
                         &size) != ERROR_SUCCESS) {
    return false;
  }
  char own[MAX_PATH] = {};
  if (g_platform.GetModuleFileNameA(module, own, MAX_PATH) == 0) return false;
  return ::lstrcmpiA(server, own) != 0;
}

}  // namespace

bool IsRegisteredByOtherArchitecture(const ClassTable& table) {
  for (ObjectMapEntry* const* slot = table.tableStart; slot < table.tableEnd; ++slot) {
    if (*slot && IsServedByOtherModule(*(*slot)->clsid, table.typeLibraryModule)) return true;
  }
  return false;
}

HRESULT RemoveClassKey(REFCLSID clsid) {
  char guid[39];
  FormatGuid(clsid, guid);
  CRegistryKey classes;
  LONG code = classes.OpenKey(HKEY_CLASSES_ROOT, "CLSID", KEY_READ | KEY_WRITE);
  if (code == ERROR_SUCCESS) code = classes.DeleteTree(guid);
  return code == ERROR_FILE_NOT_FOUND ? S_OK : HResultFromWin32(code);
}
