// A start in which one critical section of the module records cannot be
// initialised: the records are still built, the init-failed flag is set, and
// the module's side of DllMain refuses process attach. FAILING_SECTION says
// which initialisation fails: 1 the class table's, 2 the module's. The
// replacement goes in after the platform table is filled and before the
// module records are built.
#include <gtest/gtest.h>

#include "server/class_table.h"
#include "server/module.h"
#include "server/platform.h"

namespace {

int g_initialisations = 0;

BOOL WINAPI FailingInitialisation(LPCRITICAL_SECTION section, DWORD spin) {
  if (++g_initialisations == FAILING_SECTION) {
    ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  return DefaultPlatformCalls().InitializeCriticalSectionAndSpinCount(section, spin);
}

struct FailOneInitialisation {
  FailOneInitialisation() {
    g_platform.InitializeCriticalSectionAndSpinCount = FailingInitialisation;
  }
};

FailOneInitialisation g_failOne __attribute__((init_priority(103)));

TEST(ModuleInitFailureTest, RecordsAreBuiltWithTheFlagSet) {
  EXPECT_EQ(2, g_initialisations);
  EXPECT_TRUE(g_initFailed);
  EXPECT_NE(0u, g_classTable.size);
  EXPECT_NE(0u, g_currentModule->size);
  EXPECT_EQ(FAILING_SECTION != 1, g_classTable.criticalSection.IsReady());
  EXPECT_EQ(FAILING_SECTION != 2, g_currentModule->criticalSection.IsReady());
}

void NeverRuns(void*) {}

TEST(ModuleInitFailureTest, ModuleWithoutItsSectionTakesNoTermFunction) {
  const HRESULT expected = FAILING_SECTION == 2 ? E_UNEXPECTED : S_OK;
  EXPECT_EQ(expected, RegisterTermFunction(g_currentModule, NeverRuns, nullptr));
}

TEST(ModuleInitFailureTest, DllMainRefusesProcessAttachOnly) {
  EXPECT_FALSE(ModuleDllMain(g_moduleInstance.handle, DLL_PROCESS_ATTACH, nullptr));
  for (DWORD reason : {DLL_THREAD_ATTACH, DLL_THREAD_DETACH, DLL_PROCESS_DETACH}) {
    EXPECT_TRUE(ModuleDllMain(g_moduleInstance.handle, reason, nullptr)) << reason;
  }
}

}  // namespace
