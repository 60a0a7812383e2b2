#include "registration/type_library.h"

#include <shlwapi.h>
#include <string.h>

#include "server/convert.h"
#include "server/errors.h"
#include "server/handle.h"
#include "server/platform.h"
#include "server/type_block.h"

// oleaut32 exports the per-user registration; the toolchain's headers do not
// declare it.
extern "C" HRESULT WINAPI RegisterTypeLibForUser(ITypeLib* library, OLECHAR* path,
                                                 OLECHAR* helpDirectory);
extern "C" HRESULT WINAPI UnRegisterTypeLibForUser(REFGUID libid, WORD major, WORD minor,
                                                   LCID locale, SYSKIND system);

namespace {

const DWORD kPathCapacity = 260;

// True when HKCR holds no registration of the library's identity at all.
bool IsUnregistered(const TLIBATTR& attributes) {
  wchar_t guid[64];
  if (!::StringFromGUID2(attributes.guid, guid, 64)) return false;
  char text[64];
  for (int i = 0; i < 64 && (text[i] = static_cast<char>(guid[i])) != '\0'; ++i) {
  }
  char path[128];
  wsprintfA(path, "TypeLib\\%s\\%x.%x", text, attributes.wMajorVerNum, attributes.wMinorVerNum);
  CKeyHandle key;
  return g_platform.RegOpenKeyExA(HKEY_CLASSES_ROOT, path, 0, KEY_READ, key.Receive()) ==
         ERROR_FILE_NOT_FOUND;
}

}  // namespace

HRESULT LoadModuleTypeLibrary(HMODULE module, BSTR* path, ITypeLib** library) {
  RETURN_HR_IF(E_POINTER, path == nullptr || library == nullptr);
  *path = nullptr;
  *library = nullptr;
  const UINT codePage = GetConversionCodePage();

  char name[kPathCapacity];
  const DWORD length = g_platform.GetModuleFileNameA(module, name, kPathCapacity);
  RETURN_HR_IF(HResultFromLastFailure(), length == 0);
  RETURN_HR_IF(HResultFromWin32(ERROR_INSUFFICIENT_BUFFER), length >= kPathCapacity);
  char* extension = ::PathFindExtensionA(name);

  // Scratch is taken in this frame: it must outlive the load it serves.
  ConversionScratch scratch;
  wchar_t* loaded = WIDEN_TEXT(scratch, name, codePage);
  RETURN_HR_IF_NULL(E_OUTOFMEMORY, loaded);
  HRESULT result = ::LoadTypeLib(loaded, library);
  if (FAILED(result)) {
    // No library inside the module: try the file of the same name with ".tlb".
    RETURN_HR_IF(E_FAIL, static_cast<size_t>(extension - name) + 5 > kPathCapacity);
    memcpy(extension, ".tlb", 5);
    loaded = WIDEN_TEXT(scratch, name, codePage);
    RETURN_HR_IF_NULL(E_OUTOFMEMORY, loaded);
    RETURN_IF_FAILED(result = ::LoadTypeLib(loaded, library));
  }
  *path = ::SysAllocString(loaded);
  RETURN_HR_IF_NULL(E_OUTOFMEMORY, *path);
  return result;
}

HRESULT RegisterModuleTypeLibrary(HMODULE module, RegistrationScope scope) {
  CBstr path;
  CInterfacePtr<ITypeLib> library;
  RETURN_IF_FAILED(LoadModuleTypeLibrary(module, path.Receive(), library.Receive()));

  wchar_t helpDirectory[kPathCapacity];
  lstrcpynW(helpDirectory, path.Get(), kPathCapacity);
  helpDirectory[kPathCapacity - 1] = L'\0';
  helpDirectory[GetDirectoryLength(helpDirectory)] = L'\0';
  return scope == RegistrationScope::kUser
             ? ::RegisterTypeLibForUser(library.Get(), path.Get(), helpDirectory)
             : ::RegisterTypeLib(library.Get(), path.Get(), helpDirectory);
}

HRESULT UnregisterModuleTypeLibrary(HMODULE module, RegistrationScope scope) {
  CBstr path;
  CInterfacePtr<ITypeLib> library;
  RETURN_IF_FAILED(LoadModuleTypeLibrary(module, path.Receive(), library.Receive()));

  CLibraryAttributes attributes(library.Get());
  RETURN_IF_FAILED(library.Get()->GetLibAttr(attributes.Receive()));
  const auto unregister =
      scope == RegistrationScope::kUser ? ::UnRegisterTypeLibForUser : ::UnRegisterTypeLib;
  const HRESULT result = unregister(attributes->guid, attributes->wMajorVerNum,
                                    attributes->wMinorVerNum, attributes->lcid,
                                    attributes->syskind);
  // Removing a registration that is not there has reached what was asked:
  // the platform's refusal would make a repeated uninstall fail.
  if (FAILED(result) && IsUnregistered(*attributes)) return S_OK;
  return result;
}

size_t GetDirectoryLength(const wchar_t* path) {
  if (!path) return 0;
  size_t length = 0;
  for (size_t i = 0; path[i]; ++i) {
    if (path[i] == L'\\' || path[i] == L'/' || path[i] == L':') length = i + 1;
  }
  return length;
}
