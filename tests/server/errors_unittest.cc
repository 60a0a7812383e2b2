// Win32 codes as HRESULTs and the guarded critical-section initialisation.
#include <gtest/gtest.h>

#include "server/critical_section.h"
#include "server/errors.h"
#include "support/platform_override.h"

namespace {

struct Win32Case {
  LONG code;
  HRESULT expected;
};

class HResultFromWin32Test : public ::testing::TestWithParam<Win32Case> {};

TEST_P(HResultFromWin32Test, MapsPositiveCodesAndPassesTheRest) {
  EXPECT_EQ(GetParam().expected, HResultFromWin32(GetParam().code));
}

INSTANTIATE_TEST_SUITE_P(Codes, HResultFromWin32Test,
                         ::testing::Values(Win32Case{0, S_OK},
                                           Win32Case{2, HRESULT(0x80070002)},
                                           Win32Case{122, HRESULT(0x8007007A)},
                                           Win32Case{0x12345, HRESULT(0x80072345)},
                                           Win32Case{LONG(0x80004005), E_FAIL},
                                           Win32Case{-1, HRESULT(-1)}));

TEST(HResultFromLastErrorTest, MapsTheThreadsLastError) {
  ::SetLastError(ERROR_ACCESS_DENIED);
  EXPECT_EQ(E_ACCESSDENIED, HResultFromLastError());
  ::SetLastError(0);
  EXPECT_EQ(S_OK, HResultFromLastError());
}

DWORD g_initFailureCode = 0;

BOOL WINAPI FailingInit(LPCRITICAL_SECTION, DWORD) {
  ::SetLastError(g_initFailureCode);
  return FALSE;
}

TEST(InitCriticalSectionTest, SucceedsOnThePlatform) {
  CCriticalSection section;
  ASSERT_EQ(S_OK, section.InitResult());
  ASSERT_TRUE(section.IsReady());
  CCriticalSectionLock outer(&section);
  CCriticalSectionLock inner(&section);  // re-entrant
}

TEST(InitCriticalSectionTest, OwnerIsNotReadyAfterAFailureOrItsDeletion) {
  {
    ScopedPlatformCalls platform;
    platform->InitializeCriticalSectionAndSpinCount = FailingInit;
    g_initFailureCode = ERROR_NOT_ENOUGH_MEMORY;
    CCriticalSection refused;
    EXPECT_EQ(E_OUTOFMEMORY, refused.InitResult());
    EXPECT_FALSE(refused.IsReady());
  }
  CCriticalSection section;
  ASSERT_TRUE(section.IsReady());
  section.Delete();
  EXPECT_FALSE(section.IsReady());
  section.Delete();  // a second deletion does nothing
}

TEST(InitCriticalSectionTest, NoMemoryIsOutOfMemoryAnythingElseIsFail) {
  ScopedPlatformCalls platform;
  platform->InitializeCriticalSectionAndSpinCount = FailingInit;
  CRITICAL_SECTION section;
  g_initFailureCode = ERROR_NOT_ENOUGH_MEMORY;
  EXPECT_EQ(E_OUTOFMEMORY, InitCriticalSection(&section));
  g_initFailureCode = ERROR_OUTOFMEMORY;
  EXPECT_EQ(E_OUTOFMEMORY, InitCriticalSection(&section));
  g_initFailureCode = ERROR_INVALID_PARAMETER;
  EXPECT_EQ(E_FAIL, InitCriticalSection(&section));
}

}  // namespace
