#include "bench/agent_calls.h"

#include "server/handle.h"
#include "support/brisvel_library.h"

const wchar_t kRefusedLink[] = L"http://example.invalid/";

HRESULT CreateAgent(const BrisvelLibrary& library, IAgent** agent) {
  *agent = nullptr;
  CInterfacePtr<IClassFactory> factory;
  const HRESULT result = library.GetClassObject(CLSID_Agent, IID_IClassFactory,
                                                reinterpret_cast<void**>(factory.Receive()));
  if (FAILED(result)) return result;
  return factory.Get()->CreateInstance(nullptr, IID_IAgent, reinterpret_cast<void**>(agent));
}

CRunCall::CRunCall(const wchar_t* link) {
  ::VariantInit(&argument_);
  argument_.vt = VT_BSTR;
  argument_.bstrVal = ::SysAllocString(link);
  parameters_ = {&argument_, nullptr, 1, 0};
  ::VariantInit(&result_);
  exception_ = {};
}

CRunCall::~CRunCall() {
  Clear();
  ::VariantClear(&argument_);
}

HRESULT CRunCall::Invoke(IDispatch* object) {
  const HRESULT result = object->Invoke(1, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                        &parameters_, &result_, &exception_, &argumentError_);
  Clear();
  return result;
}

HRESULT CRunCall::InvokeThrough(ITypeInfo* description, IAgent* object) {
  const HRESULT result = description->Invoke(object, 1, DISPATCH_METHOD, &parameters_, &result_,
                                             &exception_, &argumentError_);
  Clear();
  return result;
}

void CRunCall::Clear() {
  ::VariantClear(&result_);
  ::SysFreeString(exception_.bstrSource);
  ::SysFreeString(exception_.bstrDescription);
  ::SysFreeString(exception_.bstrHelpFile);
  exception_ = {};
}
