// An IAgent of the test's own that writes down what each call brought and
// answers what the test chose, so that what crosses the proxy and stub can be
// compared with what was sent.
#ifndef BRISVEL_TESTS_SUPPORT_RECORDING_AGENT_H_
#define BRISVEL_TESTS_SUPPORT_RECORDING_AGENT_H_

#include <windows.h>

#include <string>

#include "idl/brisvel.h"

class RecordingAgent : public IAgent {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // Answers `typeInfoCount`.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID locale, ITypeInfo** typeInfo) override;
  // Knows the one name "Run", as DISPID 1.
  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                             DISPID* dispids) override;
  STDMETHODIMP Invoke(DISPID dispid, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                      VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override;

  // Records the link and the thread it ran on; answers `runAnswer`.
  STDMETHODIMP Run(BSTR URL) override;

  // References beyond the one its owner holds.
  LONG ExtraReferences() const { return references_ - 1; }

  HRESULT runAnswer = S_OK;
  UINT typeInfoCount = 0;

  int runCalls = 0;
  bool linkWasNull = false;
  std::wstring link;  // every unit the BSTR carried, NULs included
  DWORD runThread = 0;

 private:
  volatile LONG references_ = 1;
};

#endif  // BRISVEL_TESTS_SUPPORT_RECORDING_AGENT_H_
