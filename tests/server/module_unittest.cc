// The module record while the library is live: the lock count behind
// DllCanUnloadNow, the term-function list's refusals, the global interface
// table, and the module's side of DllMain.
#include <gtest/gtest.h>

#include "idl/brisvel.h"
#include "server/module.h"
#include "support/platform_override.h"

namespace {

TEST(ModuleLockTest, LockAndUnlockAnswerTheNewCountAndDecideUnloading) {
  ASSERT_EQ(0, g_currentModule->GetLockCount());
  EXPECT_EQ(S_OK, ModuleCanUnloadNow());
  EXPECT_EQ(1, g_currentModule->Lock());
  EXPECT_EQ(S_FALSE, ModuleCanUnloadNow());
  EXPECT_EQ(2, g_currentModule->Lock());
  EXPECT_EQ(1, g_currentModule->Unlock());
  EXPECT_EQ(S_FALSE, ModuleCanUnloadNow());
  EXPECT_EQ(0, g_currentModule->Unlock());
  EXPECT_EQ(S_OK, ModuleCanUnloadNow());
}

TEST(ModuleRecordTest, IsLiveWithTheTypeLibrarysIdentity) {
  EXPECT_EQ(sizeof(CServerModule), g_currentModule->size);
  EXPECT_TRUE(IsEqualGUID(LIBID_Vintaro, g_moduleLibid));
  EXPECT_FALSE(g_initFailed);
}

void NeverRuns(void*) { ADD_FAILURE() << "a refused term function ran"; }

TEST(TermFunctionTest, RefusalsLeaveTheListAsItWas) {
  CServerModule::TermNode* head = g_currentModule->termFunctions;
  EXPECT_EQ(E_INVALIDARG, RegisterTermFunction(nullptr, NeverRuns, nullptr));
  EXPECT_EQ(E_INVALIDARG, RegisterTermFunction(g_currentModule, nullptr, nullptr));
  {
    ScopedPlatformCalls platform;
    platform->HeapAllocate = [](size_t) -> void* { return nullptr; };
    EXPECT_EQ(E_OUTOFMEMORY, RegisterTermFunction(g_currentModule, NeverRuns, nullptr));
  }
  EXPECT_EQ(head, g_currentModule->termFunctions);
}

TEST(TermFunctionTest, MayBeRegisteredWhileTheModuleSectionIsHeld) {
  static int runs = 0;
  {
    CCriticalSectionLock lock(&g_currentModule->criticalSection);
    EXPECT_EQ(S_OK, RegisterTermFunction(g_currentModule, [](void*) { ++runs; }, nullptr));
  }
  ASSERT_NE(nullptr, g_currentModule->termFunctions);
  EXPECT_EQ(0, runs);  // it waits for the unload
}

int g_creates = 0;
HRESULT g_createAnswer = S_OK;

HRESULT WINAPI RefusingCreate(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID* out) {
  ++g_creates;
  *out = nullptr;
  return g_createAnswer;
}

TEST(GlobalInterfaceTableTest, FailureIsPassedOnAndNotCachedSuccessIsShared) {
  ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  EXPECT_EQ(E_POINTER, g_currentModule->GetGlobalInterfaceTable(nullptr));
  {
    ScopedPlatformCalls platform;
    platform->CoCreateInstance = RefusingCreate;
    g_createAnswer = REGDB_E_CLASSNOTREG;
    IGlobalInterfaceTable* table = reinterpret_cast<IGlobalInterfaceTable*>(1);
    EXPECT_EQ(REGDB_E_CLASSNOTREG, g_currentModule->GetGlobalInterfaceTable(&table));
    EXPECT_EQ(reinterpret_cast<IGlobalInterfaceTable*>(1), table);
    EXPECT_EQ(nullptr, g_currentModule->globalInterfaceTable);
    EXPECT_EQ(1, g_creates);
  }
  IGlobalInterfaceTable* first = nullptr;
  IGlobalInterfaceTable* second = nullptr;
  ASSERT_EQ(S_OK, g_currentModule->GetGlobalInterfaceTable(&first));
  ASSERT_EQ(S_OK, g_currentModule->GetGlobalInterfaceTable(&second));
  ASSERT_NE(nullptr, first);
  EXPECT_EQ(first, second);
  EXPECT_EQ(first, g_currentModule->globalInterfaceTable);
  first->Release();
  second->Release();
  // The module keeps its own reference until unload, after CoUninitialize.
}

TEST(ModuleDllMainTest, AcceptsEveryReasonWhenTheStartWentWell) {
  for (DWORD reason : {DLL_PROCESS_ATTACH, DLL_THREAD_ATTACH, DLL_THREAD_DETACH,
                       DLL_PROCESS_DETACH}) {
    EXPECT_TRUE(ModuleDllMain(g_moduleInstance.handle, reason, nullptr)) << reason;
  }
}

}  // namespace
