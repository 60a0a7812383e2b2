#include "support/recording_agent.h"

STDMETHODIMP RecordingAgent::QueryInterface(REFIID iid, void** out) {
  if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IAgent) {
    *out = static_cast<IAgent*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

// The object lives on its owner's stack; the count only tells the test
// whether the proxy/stub let go of it.
STDMETHODIMP_(ULONG) RecordingAgent::AddRef() { return ::InterlockedIncrement(&references_); }

STDMETHODIMP_(ULONG) RecordingAgent::Release() { return ::InterlockedDecrement(&references_); }

STDMETHODIMP RecordingAgent::GetTypeInfoCount(UINT* count) {
  *count = typeInfoCount;
  return S_OK;
}

STDMETHODIMP RecordingAgent::GetTypeInfo(UINT, LCID, ITypeInfo** typeInfo) {
  *typeInfo = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP RecordingAgent::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                           DISPID* dispids) {
  HRESULT result = S_OK;
  for (UINT i = 0; i < count; ++i) {
    const bool known = ::lstrcmpiW(names[i], L"Run") == 0;
    dispids[i] = known ? 1 : DISPID_UNKNOWN;
    if (!known) result = DISP_E_UNKNOWNNAME;
  }
  return result;
}

STDMETHODIMP RecordingAgent::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                    UINT*) {
  return E_NOTIMPL;
}

STDMETHODIMP RecordingAgent::Run(BSTR URL) {
  ++runCalls;
  runThread = ::GetCurrentThreadId();
  linkWasNull = URL == nullptr;
  link.assign(URL ? URL : L"", ::SysStringLen(URL));
  return runAnswer;
}
