// Registers the type library that the built Brisvel.DLL carries as TYPELIB 1
// in this process's view of HKEY_CLASSES_ROOT (redirect it first with
// ScopedRegistryOverride: the platform writes the registration there).
#ifndef BRISVEL_TESTS_SUPPORT_TYPE_LIBRARY_H_
#define BRISVEL_TESTS_SUPPORT_TYPE_LIBRARY_H_

#include <windows.h>
#include <oleauto.h>

// The library as read from Brisvel.DLL, without registering it.
HRESULT LoadBrisvelTypeLibrary(ITypeLib** library);

// Registers the library for the path of Brisvel.DLL.
HRESULT RegisterBrisvelTypeLibrary();

#endif  // BRISVEL_TESTS_SUPPORT_TYPE_LIBRARY_H_
