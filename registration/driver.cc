// DllRegisterServer, DllUnregisterServer and DllInstall: a fixed order of steps, each
// carried out elsewhere, stopping at the first that fails. Nothing a step
// wrote is undone when a later one fails.
#include "registration/driver.h"

#include "agent/agent.h"
#include "proxy/proxy_stub.h"
#include "registrar/registrar.h"
#include "registrar/resource_script.h"
#include "registration/categories.h"
#include "registration/other_architecture.h"
#include "registration/type_library.h"
#include "server/class_table.h"
#include "server/errors.h"
#include "server/handle.h"
#include "server/module.h"
#include "server/platform.h"

namespace {

const wchar_t kAppIdText[] = L"{3A8007B1-8884-4458-92F2-266AB1038D34}";
const UINT kAppIdScript = 101;
const UINT kAgentScript = 102;

const ReplacementEntry kAppIdReplacements[] = {{L"APPID", kAppIdText}, {nullptr, nullptr}};

}  // namespace

HRESULT CServerModule::AddModuleReplacements(CRegistrar* registrar) {
  return registrar->SetReplacement(L"APPID", kAppIdText);
}

HRESULT CServerModule::RegisterComponent(RegistrationScope scope) {
  RETURN_IF_FAILED(ProcessRegistryResource(this, kAppIdScript, true, kAppIdReplacements));
  return RegisterClassTable(&g_classTable, scope);
}

// While the other architecture's Brisvel.DLL stays registered, its hosts
// keep the AppID.
HRESULT CServerModule::UnregisterComponent(RegistrationScope scope) {
  const bool shared = IsRegisteredByOtherArchitecture(g_classTable);
  RETURN_IF_FAILED(UnregisterClassTable(&g_classTable, scope));
  if (shared) return S_OK;
  return ProcessRegistryResource(this, kAppIdScript, false, kAppIdReplacements);
}

HRESULT RegisterClassTable(ClassTable* table, RegistrationScope scope) {
  for (ObjectMapEntry* const* slot = table->tableStart; slot < table->tableEnd; ++slot) {
    const ObjectMapEntry* entry = *slot;
    if (!entry) continue;
    RETURN_IF_FAILED(entry->updateRegistration(TRUE));
    RETURN_IF_FAILED(UpdateClassCategories(*entry->clsid, entry->getCategoryMap(), true));
  }
  return RegisterModuleTypeLibrary(table->typeLibraryModule, scope);
}

// While the other architecture's Brisvel.DLL stays registered, each class
// loses only its key in this architecture's view (the ProgIDs its script
// would remove are the other's too), and the type library only its entry.
HRESULT UnregisterClassTable(ClassTable* table, RegistrationScope scope) {
  const bool shared = IsRegisteredByOtherArchitecture(*table);
  for (ObjectMapEntry* const* slot = table->tableStart; slot < table->tableEnd; ++slot) {
    const ObjectMapEntry* entry = *slot;
    if (!entry) continue;
    UpdateClassCategories(*entry->clsid, entry->getCategoryMap(), false);
    RETURN_IF_FAILED(shared ? RemoveClassKey(*entry->clsid) : entry->updateRegistration(FALSE));
  }
  return shared ? UnregisterModuleTypeLibraryEntry(table->typeLibraryModule)
                : UnregisterModuleTypeLibrary(table->typeLibraryModule, scope);
}

HRESULT WINAPI CAgent::UpdateRegistration(BOOL doRegister) {
  return ProcessRegistryResource(g_currentModule, kAgentScript, doRegister != FALSE, nullptr);
}

namespace {

HRESULT RegisterServer(RegistrationScope scope) {
  RETURN_IF_FAILED(g_currentModule->RegisterComponent(scope));
  return ProxyStubRegister();
}

HRESULT UnregisterServer(RegistrationScope scope) {
  RETURN_IF_FAILED(g_currentModule->UnregisterComponent(scope));
  // Written afresh, then removed: the proxy/stub's entries are gone
  // afterwards whether or not they were there before.
  RETURN_IF_FAILED(ProxyStubRegister());
  return ProxyStubUnregister();
}

// HKEY_CLASSES_ROOT of this process redirected to the current user's classes
// for the life of the object, and given back on every path.
class CUserClassesRedirection {
 public:
  CUserClassesRedirection() {
    result_ = HResultFromWin32(g_platform.RegCreateKeyExA(
        HKEY_CURRENT_USER, "Software\\Classes", 0, nullptr, REG_OPTION_NON_VOLATILE,
        KEY_ALL_ACCESS, nullptr, userClasses_.Receive(), nullptr));
    if (SUCCEEDED(result_)) {
      result_ = HResultFromWin32(::RegOverridePredefKey(HKEY_CLASSES_ROOT, userClasses_.Get()));
    }
  }
  ~CUserClassesRedirection() {
    if (SUCCEEDED(result_)) ::RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
  }
  CUserClassesRedirection(const CUserClassesRedirection&) = delete;
  CUserClassesRedirection& operator=(const CUserClassesRedirection&) = delete;

  HRESULT Result() const { return result_; }

 private:
  CKeyHandle userClasses_;
  HRESULT result_;
};

bool IsUserCommandLine(LPCWSTR commandLine) {
  return commandLine && ::lstrcmpiW(commandLine, L"user") == 0;
}

}  // namespace

STDAPI DllRegisterServer() { return RegisterServer(RegistrationScope::kMachine); }

STDAPI DllUnregisterServer() { return UnregisterServer(RegistrationScope::kMachine); }

// With "user", the same steps for the current user alone: no administrator
// rights needed, nothing written for the machine.
STDAPI DllInstall(BOOL install, LPCWSTR commandLine) {
  if (!IsUserCommandLine(commandLine)) {
    return install ? DllRegisterServer() : DllUnregisterServer();
  }
  CUserClassesRedirection redirection;
  RETURN_IF_FAILED(redirection.Result());
  return install ? RegisterServer(RegistrationScope::kUser)
                 : UnregisterServer(RegistrationScope::kUser);
}
