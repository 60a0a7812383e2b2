// DllRegisterServer and DllUnregisterServer with their fixed order of steps.
#include "server/module.h"

HRESULT CServerModule::AddModuleReplacements(CRegistrar*) { return E_NOTIMPL; }

HRESULT CServerModule::RegisterComponent() { return E_NOTIMPL; }

HRESULT CServerModule::UnregisterComponent() { return E_NOTIMPL; }
