// The IDispatch slots of CAgent, served from the type information of IAgent.
// The inner object of an aggregated Agent shares them.
#include "agent/agent.h"
#include "agent/type_info_holder.h"

CTypeInfoHolder g_agentTypeInfo = {&IID_IAgent, &LIBID_Vintaro, 1, 0, nullptr, nullptr, 0};

STDMETHODIMP CAgent::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

// There is one description, so every index is served as index 0.
STDMETHODIMP CAgent::GetTypeInfo(UINT, LCID locale, ITypeInfo** typeInfo) {
  return g_agentTypeInfo.CopyTypeInfo(locale, typeInfo);
}

STDMETHODIMP CAgent::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID locale,
                                   DISPID* dispids) {
  return g_agentTypeInfo.MapNames(names, count, locale, dispids);
}

// The description calls Run through this very object's vtable.
STDMETHODIMP CAgent::Invoke(DISPID dispid, REFIID, LCID locale, WORD flags, DISPPARAMS* parameters,
                            VARIANT* result, EXCEPINFO* exception, UINT* argumentError) {
  return g_agentTypeInfo.InvokeMember(static_cast<IAgent*>(this), dispid, locale, flags, parameters,
                                      result, exception, argumentError);
}
