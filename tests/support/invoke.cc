#include "support/invoke.h"

InvokeOutcome InvokeWithLink(IDispatch* dispatch, DISPID dispid, const wchar_t* link) {
  VARIANT argument;
  ::VariantInit(&argument);
  argument.vt = VT_BSTR;
  argument.bstrVal = ::SysAllocString(link);
  DISPPARAMS parameters = {&argument, nullptr, 1, 0};
  const InvokeOutcome outcome = OutcomeOf([&](VARIANT* result, EXCEPINFO* exception, UINT*) {
    return dispatch->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters,
                            result, exception, nullptr);
  });
  ::VariantClear(&argument);
  return outcome;
}
