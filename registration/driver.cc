// DllRegisterServer and DllUnregisterServer: a fixed order of steps, each
// carried out elsewhere, stopping at the first that fails. Nothing a step
// wrote is undone when a later one fails.
#include "registration/driver.h"

#include "agent/agent.h"
#include "proxy/proxy_stub.h"
#include "registrar/registrar.h"
#include "registrar/resource_script.h"
#include "registration/categories.h"
#include "registration/type_library.h"
#include "server/class_table.h"
#include "server/errors.h"
#include "server/module.h"

namespace {

const wchar_t kAppIdText[] = L"{3A8007B1-8884-4458-92F2-266AB1038D34}";
const UINT kAppIdScript = 101;
const UINT kAgentScript = 102;

const ReplacementEntry kAppIdReplacements[] = {{L"APPID", kAppIdText}, {nullptr, nullptr}};

}  // namespace

HRESULT CServerModule::AddModuleReplacements(CRegistrar* registrar) {
  return registrar->SetReplacement(L"APPID", kAppIdText);
}

HRESULT CServerModule::RegisterComponent() {
  RETURN_IF_FAILED(ProcessRegistryResource(this, kAppIdScript, true, kAppIdReplacements));
  return RegisterClassTable(&g_classTable);
}

HRESULT CServerModule::UnregisterComponent() {
  RETURN_IF_FAILED(UnregisterClassTable(&g_classTable));
  return ProcessRegistryResource(this, kAppIdScript, false, kAppIdReplacements);
}

HRESULT RegisterClassTable(ClassTable* table) {
  for (ObjectMapEntry* const* slot = table->tableStart; slot < table->tableEnd; ++slot) {
    const ObjectMapEntry* entry = *slot;
    if (!entry) continue;
    RETURN_IF_FAILED(entry->updateRegistration(TRUE));
    RETURN_IF_FAILED(UpdateClassCategories(*entry->clsid, entry->getCategoryMap(), true));
  }
  return RegisterModuleTypeLibrary(table->typeLibraryModule);
}

HRESULT UnregisterClassTable(ClassTable* table) {
  for (ObjectMapEntry* const* slot = table->tableStart; slot < table->tableEnd; ++slot) {
    const ObjectMapEntry* entry = *slot;
    if (!entry) continue;
    UpdateClassCategories(*entry->clsid, entry->getCategoryMap(), false);
    RETURN_IF_FAILED(entry->updateRegistration(FALSE));
  }
  return UnregisterModuleTypeLibrary(table->typeLibraryModule);
}

HRESULT WINAPI CAgent::UpdateRegistration(BOOL doRegister) {
  return ProcessRegistryResource(g_currentModule, kAgentScript, doRegister != FALSE, nullptr);
}

STDAPI DllRegisterServer() {
  RETURN_IF_FAILED(g_currentModule->RegisterComponent());
  return ProxyStubRegister();
}

STDAPI DllUnregisterServer() {
  RETURN_IF_FAILED(g_currentModule->UnregisterComponent());
  // Written afresh, then removed: the proxy/stub's entries are gone
  // afterwards whether or not they were there before.
  RETURN_IF_FAILED(ProxyStubRegister());
  return ProxyStubUnregister();
}
