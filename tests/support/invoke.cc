#include "support/invoke.h"

InvokeOutcome InvokeWithLink(IDispatch* dispatch, DISPID dispid, const wchar_t* link) {
  VARIANT argument;
  ::VariantInit(&argument);
  argument.vt = VT_BSTR;
  argument.bstrVal = ::SysAllocString(link);
  DISPPARAMS parameters = {&argument, nullptr, 1, 0};
  EXCEPINFO exception = {};
  const HRESULT result = dispatch->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                          &parameters, nullptr, &exception, nullptr);
  ::SysFreeString(exception.bstrSource);
  ::SysFreeString(exception.bstrDescription);
  ::SysFreeString(exception.bstrHelpFile);
  ::VariantClear(&argument);
  return {result, exception.scode};
}
