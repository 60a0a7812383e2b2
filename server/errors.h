// Win32 codes as HRESULTs, the library's one exception type, and the checks
// that keep each function's main line reading straight down.
#ifndef BRISVEL_SERVER_ERRORS_H_
#define BRISVEL_SERVER_ERRORS_H_

#include "server/win32.h"

// A Win32 code as an HRESULT; 0 and negative values pass unchanged.
HRESULT HResultFromWin32(LONG code);

// The calling thread's last Win32 error as an HRESULT.
HRESULT HResultFromLastError();

// The last error of a call that failed, as a failure: E_FAIL when the call
// recorded none, so that a failure is never reported as a success.
HRESULT HResultFromLastFailure();

// Initialises a critical section; E_OUTOFMEMORY or E_FAIL when it cannot.
HRESULT InitCriticalSection(CRITICAL_SECTION* section);

// The one exception thrown inside the library; never crosses an export or an
// interface method.
class CResultException {
 public:
  explicit CResultException(HRESULT result) : result_(result) {}
  HRESULT Result() const { return result_; }

 private:
  HRESULT result_;
};

// Throws a CResultException carrying `result`.
[[noreturn]] void ThrowResult(HRESULT result);

#define RETURN_IF_FAILED(expr)                  \
  do {                                          \
    const HRESULT hr_ = (expr);                 \
    if (FAILED(hr_)) return hr_;                \
  } while (0)

#define RETURN_HR_IF(hr, condition)             \
  do {                                          \
    if (condition) return (hr);                 \
  } while (0)

#define RETURN_HR_IF_NULL(hr, pointer) RETURN_HR_IF(hr, (pointer) == nullptr)

#define RETURN_IF_WIN32_ERROR(expr)             \
  do {                                          \
    const LONG code_ = (expr);                  \
    if (code_ != ERROR_SUCCESS) return HResultFromWin32(code_); \
  } while (0)

#endif  // BRISVEL_SERVER_ERRORS_H_
