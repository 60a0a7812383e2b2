// Makes the library step through text and test lead bytes as a system whose
// ANSI code page is Japanese (932) does, whatever the prefix's own code page
// is. For the internal tests, which link the library's code.
#ifndef BRISVEL_TESTS_SUPPORT_DOUBLE_BYTE_CODE_PAGE_H_
#define BRISVEL_TESTS_SUPPORT_DOUBLE_BYTE_CODE_PAGE_H_

#include "support/platform_override.h"

inline LPSTR WINAPI CharNext932(LPCSTR text) { return ::CharNextExA(932, text, 0); }
inline BOOL WINAPI IsLeadByte932(BYTE byte) { return ::IsDBCSLeadByteEx(932, byte); }

// Installs the stepping of code page 932; the caller restores the table.
inline void InstallDoubleByteStepping() {
  g_platform.CharNextA = CharNext932;
  g_platform.IsDBCSLeadByte = IsLeadByte932;
}

class ScopedDoubleByteCodePage {
 public:
  ScopedDoubleByteCodePage() { InstallDoubleByteStepping(); }

 private:

  ScopedPlatformCalls platform_;
};

// A double-byte character of code page 932 whose trail byte is a backslash.
constexpr char kTrailBackslash[] = "\x95\x5C";

#endif  // BRISVEL_TESTS_SUPPORT_DOUBLE_BYTE_CODE_PAGE_H_
