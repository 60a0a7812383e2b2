// CAgent: the implementation class behind Agent. It keeps no state; its one
// operation, Run, opens ed2k: links through the shell and refuses the rest.
#ifndef BRISVEL_AGENT_AGENT_H_
#define BRISVEL_AGENT_AGENT_H_

#include "idl/brisvel.h"
#include "server/win32.h"

struct InterfaceMapEntry;

class CAgent : public IAgent {
 public:
  // The interface table: IAgent, then IDispatch, both on the one vtable.
  static const InterfaceMapEntry* GetInterfaceMap();

  // Writes or removes the class's registry entries (REGISTRY 102). Defined in
  // registration/driver.cc: it runs the registration's scripts, and agent/
  // does not depend on registration/.
  static HRESULT WINAPI UpdateRegistration(BOOL doRegister);

  // IDispatch, through the type information of IAgent.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID locale, ITypeInfo** typeInfo) override;
  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                             DISPID* dispids) override;
  STDMETHODIMP Invoke(DISPID dispid, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                      VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override;

  // IAgent.
  STDMETHODIMP Run(BSTR URL) override;
};

// True when the first `length` units of `link` form a link Run hands on.
bool IsAcceptedLink(const wchar_t* link, size_t length);

// The HRESULT Run reports for the shell's answer.
HRESULT ShellResultToHResult(INT_PTR shellResult);

#endif  // BRISVEL_AGENT_AGENT_H_
