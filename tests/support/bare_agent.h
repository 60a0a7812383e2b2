// CAgent without the instance wrappers that count it and answer its
// interfaces: enough to call its methods directly. For the internal tests.
#ifndef BRISVEL_TESTS_SUPPORT_BARE_AGENT_H_
#define BRISVEL_TESTS_SUPPORT_BARE_AGENT_H_

#include "agent/agent.h"

class BareAgent : public CAgent {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    const bool known = iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IAgent;
    *out = known ? static_cast<IAgent*>(this) : nullptr;
    return known ? S_OK : E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 1; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
};

#endif  // BRISVEL_TESTS_SUPPORT_BARE_AGENT_H_
