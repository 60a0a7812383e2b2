// Makes the library see a system ANSI code page other than the prefix's own
// (Wine takes its code page from the locale its server started in, and
// ignores the registry's). Conversions into UTF-8 and UTF-7 refuse what
// Windows refuses there and Wine lets pass: any flag but
// WC_ERR_INVALID_CHARS, and the question whether the default character was
// used. For the internal tests, which link the library's code.
#ifndef BRISVEL_TESTS_SUPPORT_SYSTEM_CODE_PAGE_H_
#define BRISVEL_TESTS_SUPPORT_SYSTEM_CODE_PAGE_H_

#include "support/platform_override.h"

inline UINT g_systemCodePage = 0;

inline UINT WINAPI SystemCodePageForTest() { return g_systemCodePage; }

inline int WINAPI NarrowAsWindows(UINT codePage, DWORD flags, LPCWCH wide, int wideLength,
                                  LPSTR narrow, int narrowSize, LPCCH defaultChar,
                                  LPBOOL usedDefault) {
  if ((codePage == CP_UTF8 || codePage == CP_UTF7) &&
      ((flags & ~DWORD{WC_ERR_INVALID_CHARS}) != 0 || defaultChar || usedDefault)) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return DefaultPlatformCalls().WideCharToMultiByte(codePage, flags, wide, wideLength, narrow,
                                                    narrowSize, defaultChar, usedDefault);
}

class ScopedSystemCodePage {
 public:
  explicit ScopedSystemCodePage(UINT codePage) {
    g_systemCodePage = codePage;
    platform_->GetACP = SystemCodePageForTest;
    platform_->WideCharToMultiByte = NarrowAsWindows;
  }

 private:
  ScopedPlatformCalls platform_;
};

#endif  // BRISVEL_TESTS_SUPPORT_SYSTEM_CODE_PAGE_H_
