// CAgent::UpdateRegistration: the class's registry entries.
#include "agent/agent.h"

// Registration builds this on the registry-script interpreter; until then
// the class reports that it cannot write its entries.
HRESULT WINAPI CAgent::UpdateRegistration(BOOL) { return E_NOTIMPL; }
