// The registration driver's walks over the class table.
#ifndef BRISVEL_REGISTRATION_DRIVER_H_
#define BRISVEL_REGISTRATION_DRIVER_H_

#include "server/module.h"
#include "server/win32.h"

struct ClassTable;

// Each class's script and categories, then the table's type library.
HRESULT RegisterClassTable(ClassTable* table,
                           RegistrationScope scope = RegistrationScope::kMachine);

// Each class's categories and script, then the table's type library; while the
// other architecture's module is registered, only this architecture's class
// keys and type library entry.
HRESULT UnregisterClassTable(ClassTable* table,
                             RegistrationScope scope = RegistrationScope::kMachine);

#endif  // BRISVEL_REGISTRATION_DRIVER_H_
