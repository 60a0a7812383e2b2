// Late-bound calls of Run, as an automation client makes them, and what one
// Invoke reported.
#ifndef BRISVEL_TESTS_SUPPORT_INVOKE_H_
#define BRISVEL_TESTS_SUPPORT_INVOKE_H_

#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>

#include "server/handle.h"

// What one Invoke reported: its result, its exception's code, source and
// description, and the argument error index (12345 when not written).
struct InvokeOutcome {
  HRESULT result = S_OK;
  SCODE scode = 0;
  std::wstring source;
  std::wstring description;
  UINT argumentError = 12345;

  // The same result and exception code: what a caller acts on.
  bool operator==(const InvokeOutcome& other) const {
    return result == other.result && scode == other.scode;
  }
};

// Calls `invoke`(result, exception, argument index) and keeps what it
// reported; every string the exception carries is freed on every path.
template <class Invoke>
InvokeOutcome OutcomeOf(Invoke invoke) {
  VARIANT result;
  ::VariantInit(&result);
  EXCEPINFO exception = {};
  InvokeOutcome outcome;
  outcome.result = invoke(&result, &exception, &outcome.argumentError);
  if (exception.pfnDeferredFillIn) exception.pfnDeferredFillIn(&exception);
  const CBstr source(exception.bstrSource);
  const CBstr description(exception.bstrDescription);
  const CBstr helpFile(exception.bstrHelpFile);
  outcome.scode = exception.scode ? exception.scode : exception.wCode;
  if (source) outcome.source = source.Get();
  if (description) outcome.description = description.Get();
  EXPECT_EQ(VT_EMPTY, result.vt) << "Run yields no value";
  ::VariantClear(&result);
  return outcome;
}

// Invokes member `dispid` as a method with `link` as its one BSTR argument.
InvokeOutcome InvokeWithLink(IDispatch* dispatch, DISPID dispid, const wchar_t* link);

#endif  // BRISVEL_TESTS_SUPPORT_INVOKE_H_
