// A late-bound call of Run, as an automation client makes it.
#ifndef BRISVEL_TESTS_SUPPORT_INVOKE_H_
#define BRISVEL_TESTS_SUPPORT_INVOKE_H_

#include <windows.h>
#include <oleauto.h>

// What Invoke reports: its result and the exception's code.
struct InvokeOutcome {
  HRESULT result;
  SCODE scode;
  bool operator==(const InvokeOutcome& other) const {
    return result == other.result && scode == other.scode;
  }
};

// Invokes member `dispid` as a method with `link` as its one BSTR argument.
InvokeOutcome InvokeWithLink(IDispatch* dispatch, DISPID dispid, const wchar_t* link);

#endif  // BRISVEL_TESTS_SUPPORT_INVOKE_H_
