// The state the library keeps once per process: the module handle, the
// module record with its lock count, term functions and critical section,
// and the module's side of DllMain and DllCanUnloadNow.
#ifndef BRISVEL_SERVER_MODULE_H_
#define BRISVEL_SERVER_MODULE_H_

#include "server/critical_section.h"
#include "server/win32.h"

class CRegistrar;

// Where registration writes: for the whole machine, or for the current user
// only (HKEY_CLASSES_ROOT redirected to the user's classes).
enum class RegistrationScope { kMachine, kUser };

// The library's own instance handle, known from load.
struct ModuleInstance {
  ModuleInstance();
  HINSTANCE handle;
};

// A function run at unload with the argument it was registered with.
using TermFunction = void (*)(void* argument);

class CServerModule {
 public:
  CServerModule();
  virtual ~CServerModule();

  // Interlocked; each answers the new count.
  virtual LONG Lock();
  virtual LONG Unlock();
  // A plain read of the lock count.
  virtual LONG GetLockCount();
  // The process's global interface table, created on first success.
  virtual HRESULT GetGlobalInterfaceTable(IGlobalInterfaceTable** table);
  // The registration members below (AddModuleReplacements, RegisterComponent,
  // UnregisterComponent) are defined in registration/driver.cc: they run the
  // registrar's scripts, and server/ depends on nothing above it.

  // Adds the module's replacement variables ("APPID") to a script run.
  virtual HRESULT AddModuleReplacements(CRegistrar* registrar);

  // Runs the term functions newest first and takes the module down.
  void Terminate();

  // The AppID script and the class table, in the register direction.
  HRESULT RegisterComponent(RegistrationScope scope = RegistrationScope::kMachine);
  // The class table and the AppID script, in the unregister direction.
  HRESULT UnregisterComponent(RegistrationScope scope = RegistrationScope::kMachine);

  struct TermNode {
    TermFunction function;
    void* argument;
    TermNode* next;
  };

  ULONG size = 0;
  volatile LONG lockCount = 0;
  TermNode* termFunctions = nullptr;
  CCriticalSection criticalSection;  // not ready when its initialisation failed
  IGlobalInterfaceTable* globalInterfaceTable = nullptr;
};

// Adds `function`(`argument`) to the module's unload work; E_UNEXPECTED once
// the module is no longer live.
HRESULT RegisterTermFunction(CServerModule* module, TermFunction function, void* argument);

// The module record; set by its construction, never cleared.
extern CServerModule* g_currentModule;
// The LIBID of the library's type library, set by the module's construction.
extern GUID g_moduleLibid;
// Set when a critical section of the module records cannot be initialised.
extern volatile bool g_initFailed;
// The library's instance handle.
extern ModuleInstance g_moduleInstance;

// The module's side of DllMain: refuses process attach after a failed start.
BOOL ModuleDllMain(HINSTANCE instance, DWORD reason, void* reserved);

// The module's side of DllCanUnloadNow: S_OK when the lock count is 0.
HRESULT ModuleCanUnloadNow();

#endif  // BRISVEL_SERVER_MODULE_H_
