// Registration of the type library a module carries as TYPELIB 1, or in a
// ".tlb" file beside it.
#ifndef BRISVEL_REGISTRATION_TYPE_LIBRARY_H_
#define BRISVEL_REGISTRATION_TYPE_LIBRARY_H_

#include <stddef.h>

#include "server/module.h"
#include "server/win32.h"

// Loads the module's type library; the caller owns both outputs, even when
// the path copy fails after the library was loaded.
HRESULT LoadModuleTypeLibrary(HMODULE module, BSTR* path, ITypeLib** library);

// Registers the module's type library with its path and help directory.
HRESULT RegisterModuleTypeLibrary(HMODULE module,
                                  RegistrationScope scope = RegistrationScope::kMachine);

// Removes the registration of the identity the module's type library reports.
HRESULT UnregisterModuleTypeLibrary(HMODULE module,
                                    RegistrationScope scope = RegistrationScope::kMachine);

// Removes only the entry of the module's type library for its own system
// kind, which is all of the registration that belongs to this architecture
// while the other architecture's module is registered: the platform's
// UnRegisterTypeLib would also remove the interface keys of both views.
HRESULT UnregisterModuleTypeLibraryEntry(HMODULE module);

// Characters up to and including the last '\', '/' or ':'; 0 for null.
size_t GetDirectoryLength(const wchar_t* path);

#endif  // BRISVEL_REGISTRATION_TYPE_LIBRARY_H_
