#include "server/errors.h"

#include "server/platform.h"

HRESULT HResultFromWin32(LONG code) {
  if (code > 0) return static_cast<HRESULT>((static_cast<ULONG>(code) & 0xFFFF) | 0x80070000);
  return static_cast<HRESULT>(code);
}

HRESULT HResultFromLastError() { return HResultFromWin32(static_cast<LONG>(::GetLastError())); }

HRESULT HResultFromLastFailure() {
  const HRESULT result = HResultFromLastError();
  return FAILED(result) ? result : E_FAIL;
}

// GCC has no structured-exception guard on this target. The contract of the
// guard is kept with the form of the call that reports failure instead of
// raising it: FALSE with ERROR_NOT_ENOUGH_MEMORY (or ERROR_OUTOFMEMORY)
// stands for STATUS_NO_MEMORY, any other failure for any other exception.
HRESULT InitCriticalSection(CRITICAL_SECTION* section) {
  if (g_platform.InitializeCriticalSectionAndSpinCount(section, 0)) return S_OK;
  const DWORD code = ::GetLastError();
  if (code == ERROR_NOT_ENOUGH_MEMORY || code == ERROR_OUTOFMEMORY) return E_OUTOFMEMORY;
  return E_FAIL;
}

void ThrowResult(HRESULT result) { throw CResultException(result); }
