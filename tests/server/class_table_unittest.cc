// The class table over private tables of test entries: which entry a lookup
// takes, when the class object is created and cached, the factory's exact
// counts and module locks, and the table after termination.
#include <gtest/gtest.h>

#include <vector>

#include "agent/agent.h"
#include "server/class_factory.h"
#include "server/class_table.h"
#include "server/handle.h"
#include "server/instance.h"
#include "server/module.h"
#include "support/case_name.h"
#include "support/platform_override.h"

namespace {

const CLSID kClass = {0x5B1E0001, 0x2222, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0x01}};
const CLSID kOtherClass = {0x5B1E0002, 0x2222, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0x02}};

LONG LockCount() { return g_currentModule->GetLockCount(); }

// Class object creators that count their calls: one builds the real
// factory, one fails, one claims success without building anything.
int g_creations = 0;

HRESULT CountingFactoryCreator(InstanceCreator createInstance, REFIID iid, void** out) {
  ++g_creations;
  return CreateClassFactory(createInstance, iid, out);
}
HRESULT FailingCreator(InstanceCreator, REFIID, void** out) {
  ++g_creations;
  *out = nullptr;
  return E_ACCESSDENIED;
}
HRESULT EmptyCreator(InstanceCreator, REFIID, void** out) {
  ++g_creations;
  *out = nullptr;
  return S_OK;
}

ObjectMapEntry EntryFor(const CLSID* clsid, ClassObjectCreator create) {
  return {clsid, nullptr, create, CreateInstanceChooser<CAgent>, nullptr, 0, nullptr, nullptr,
          nullptr};
}

class ClassTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_creations = 0;
    locks_ = LockCount();
  }

  HRESULT Lookup(REFCLSID clsid, REFIID iid, void** out) {
    return LookupClassObject(&table_, clsid, iid, out);
  }

  CInterfacePtr<IClassFactory> Factory() {
    CInterfacePtr<IClassFactory> factory;
    EXPECT_EQ(S_OK,
              Lookup(kClass, IID_IClassFactory, reinterpret_cast<void**>(factory.Receive())));
    return factory;
  }

  ObjectMapEntry entry_ = EntryFor(&kClass, CountingFactoryCreator);
  std::vector<ObjectMapEntry*> slots_{&entry_};
  ClassTable table_{slots_.data(), slots_.data() + slots_.size(), nullptr};
  LONG locks_ = 0;
};

TEST_F(ClassTableTest, FirstRequestCreatesTheFactoryTheSecondReusesIt) {
  CInterfacePtr<IClassFactory> factory = Factory();
  ASSERT_TRUE(factory);
  EXPECT_EQ(1, g_creations);
  EXPECT_EQ(static_cast<IUnknown*>(factory.Get()), entry_.classObject);
  EXPECT_EQ(locks_ + 1, LockCount());
  // Count 2: the table's reference and the caller's.
  EXPECT_EQ(3u, factory.Get()->AddRef());
  EXPECT_EQ(locks_ + 1, LockCount());
  EXPECT_EQ(2u, factory.Get()->Release());

  CInterfacePtr<IUnknown> unknown;
  ASSERT_EQ(S_OK, Lookup(kClass, IID_IUnknown, reinterpret_cast<void**>(unknown.Receive())));
  EXPECT_EQ(static_cast<IUnknown*>(factory.Get()), unknown.Get());
  EXPECT_EQ(1, g_creations);
  EXPECT_EQ(2u, unknown.Detach()->Release());
  EXPECT_EQ(1u, factory.Detach()->Release());
  EXPECT_EQ(locks_, LockCount());
}

TEST_F(ClassTableTest, InterfaceTheFactoryLacksLeavesItCachedAndUnlocked) {
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOINTERFACE, Lookup(kClass, IID_IDispatch, &out));
  EXPECT_EQ(nullptr, out);
  EXPECT_NE(nullptr, entry_.classObject);
  EXPECT_EQ(locks_, LockCount());
  CInterfacePtr<IClassFactory> factory = Factory();
  EXPECT_EQ(1, g_creations);
  factory.Reset();
}

TEST_F(ClassTableTest, FactoryCreatesStandAloneAndAggregatedAgents) {
  CInterfacePtr<IClassFactory> factory = Factory();
  ASSERT_TRUE(factory);
  CInterfacePtr<IAgent> agent;
  ASSERT_EQ(S_OK, factory.Get()->CreateInstance(nullptr, IID_IAgent,
                                                reinterpret_cast<void**>(agent.Receive())));
  EXPECT_EQ(locks_ + 2, LockCount());
  EXPECT_EQ(E_POINTER, agent.Get()->Run(nullptr));

  // The agent serves as a controlling object that must not be asked anything.
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(CLASS_E_NOAGGREGATION, factory.Get()->CreateInstance(agent.Get(), IID_IAgent, &out));
  EXPECT_EQ(nullptr, out);
  CInterfacePtr<IUnknown> aggregated;
  ASSERT_EQ(S_OK, factory.Get()->CreateInstance(agent.Get(), IID_IUnknown,
                                                reinterpret_cast<void**>(aggregated.Receive())));
  EXPECT_NE(static_cast<IUnknown*>(agent.Get()), aggregated.Get());
  EXPECT_EQ(locks_ + 3, LockCount());
  EXPECT_EQ(0u, aggregated.Detach()->Release());
  EXPECT_EQ(0u, agent.Detach()->Release());
  EXPECT_EQ(locks_ + 1, LockCount());
  factory.Reset();
  EXPECT_EQ(locks_, LockCount());
}

TEST_F(ClassTableTest, LockServerIsNotCheckedForBalance) {
  // Held bare: the test calls the factory after its own reference is gone,
  // while the table's keeps it alive.
  IClassFactory* const factory = Factory().Detach();
  ASSERT_NE(nullptr, factory);
  EXPECT_EQ(S_OK, factory->LockServer(TRUE));
  EXPECT_EQ(S_OK, factory->LockServer(TRUE));
  EXPECT_EQ(S_OK, factory->LockServer(FALSE));
  factory->Release();
  EXPECT_EQ(locks_ + 1, LockCount());
  EXPECT_EQ(S_OK, factory->LockServer(FALSE));  // the table's reference keeps it alive
  EXPECT_EQ(locks_, LockCount());
}

TEST_F(ClassTableTest, FailedCreationCachesNothingAndTheNextRequestRetries) {
  {
    ScopedPlatformCalls platform;
    platform->HeapAllocate = [](size_t) -> void* { return nullptr; };
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_OUTOFMEMORY, Lookup(kClass, IID_IClassFactory, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(nullptr, entry_.classObject);
  }
  EXPECT_EQ(locks_, LockCount());
  CInterfacePtr<IClassFactory> factory = Factory();
  EXPECT_NE(nullptr, factory.Get());
  EXPECT_EQ(2, g_creations);
  factory.Reset();
}

TEST_F(ClassTableTest, TerminationReleasesTheFactoryAndRefusesLaterLookups) {
  CInterfacePtr<IClassFactory> held = Factory();
  ASSERT_TRUE(held);
  TerminateClassTable(&table_);
  EXPECT_EQ(nullptr, entry_.classObject);
  EXPECT_EQ(0u, table_.size);
  // The caller's reference alone is left, so the module lock went back.
  EXPECT_EQ(locks_, LockCount());
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_UNEXPECTED, Lookup(kClass, IID_IClassFactory, &out));
  EXPECT_EQ(reinterpret_cast<void*>(1), out);
  EXPECT_EQ(E_UNEXPECTED, Lookup(kOtherClass, IID_IClassFactory, nullptr));
  TerminateClassTable(&table_);  // a second time does nothing

  CInterfacePtr<IAgent> agent;
  EXPECT_EQ(S_OK, held.Get()->CreateInstance(nullptr, IID_IAgent,
                                             reinterpret_cast<void**>(agent.Receive())));
  agent.Reset();
  EXPECT_EQ(0u, held.Detach()->Release());
  EXPECT_EQ(locks_, LockCount());
}

TEST_F(ClassTableTest, TerminationDestroysAFactoryNobodyElseHolds) {
  CInterfacePtr<IClassFactory> factory = Factory();
  ASSERT_TRUE(factory);
  IClassFactory* const released = factory.Get();
  factory.Reset();
  ScopedPlatformCalls platform;
  static std::vector<void*> freed;
  freed.clear();
  platform->HeapRelease = [](void* block) {
    freed.push_back(block);
    DefaultPlatformCalls().HeapRelease(block);
  };
  TerminateClassTable(&table_);
  EXPECT_EQ(std::vector<void*>{released}, freed);
}

TEST_F(ClassTableTest, NullTableIsAnInvalidArgument) {
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_INVALIDARG, LookupClassObject(nullptr, kClass, IID_IClassFactory, &out));
  EXPECT_EQ(reinterpret_cast<void*>(1), out);
  EXPECT_EQ(E_POINTER, Lookup(kClass, IID_IClassFactory, nullptr));
  EXPECT_EQ(0, g_creations);
}

// Which entry a lookup takes from tables with gaps and entries that serve
// no class object.
ObjectMapEntry g_counting = EntryFor(&kClass, CountingFactoryCreator);
ObjectMapEntry g_noClassObject = EntryFor(&kClass, nullptr);
ObjectMapEntry g_failing = EntryFor(&kClass, FailingCreator);
ObjectMapEntry g_empty = EntryFor(&kClass, EmptyCreator);
ObjectMapEntry g_other = EntryFor(&kOtherClass, FailingCreator);

struct LookupCase {
  const char* name;
  std::vector<ObjectMapEntry*> slots;
  HRESULT expected;
  int creations;
};

const LookupCase kLookupCases[] = {
    {"empty table", {}, CLASS_E_CLASSNOTAVAILABLE, 0},
    {"only another class", {&g_other}, CLASS_E_CLASSNOTAVAILABLE, 0},
    {"null slots are skipped", {nullptr, &g_counting, nullptr}, S_OK, 1},
    {"entry without class object is skipped", {&g_noClassObject, &g_counting}, S_OK, 1},
    {"entry without class object serves nothing", {&g_noClassObject}, CLASS_E_CLASSNOTAVAILABLE,
     0},
    {"first matching entry is taken", {&g_other, &g_failing, &g_counting}, E_ACCESSDENIED, 1},
    {"creation that builds nothing", {&g_empty}, CLASS_E_CLASSNOTAVAILABLE, 1},
};

class LookupTest : public ::testing::TestWithParam<LookupCase> {};

TEST_P(LookupTest, TakesTheFirstEntryThatServesTheClass) {
  g_creations = 0;
  std::vector<ObjectMapEntry*> slots = GetParam().slots;
  ClassTable table(slots.data(), slots.data() + slots.size(), nullptr);
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(GetParam().expected, LookupClassObject(&table, kClass, IID_IClassFactory, &out));
  EXPECT_EQ(GetParam().expected == S_OK, out != nullptr);
  EXPECT_EQ(GetParam().creations, g_creations);
  if (out) static_cast<IUnknown*>(out)->Release();
}

INSTANTIATE_TEST_SUITE_P(Tables, LookupTest, ::testing::ValuesIn(kLookupCases), CaseName());

std::vector<std::pair<int, bool>> g_hooks;
template <int kIndex>
void RecordingHook(bool starting) {
  g_hooks.push_back({kIndex, starting});
}

TEST(ClassHooksTest, RunInTableOrderSkippingEmptySlots) {
  ObjectMapEntry first = EntryFor(&kClass, nullptr);
  ObjectMapEntry silent = EntryFor(&kClass, nullptr);
  ObjectMapEntry second = EntryFor(&kOtherClass, nullptr);
  first.objectMain = RecordingHook<1>;
  second.objectMain = RecordingHook<2>;
  ObjectMapEntry* slots[] = {&first, nullptr, &silent, &second};
  ClassTable table(slots, slots + 4, nullptr);
  g_hooks.clear();
  RunClassHooks(&table, true);
  RunClassHooks(&table, false);
  const std::vector<std::pair<int, bool>> expected = {{1, true}, {2, true}, {1, false}, {2, false}};
  EXPECT_EQ(expected, g_hooks);
}

TEST(LibraryClassTableTest, ServesAgentAloneFromTheLibrarysOwnModule) {
  ASSERT_EQ(1u, g_objectMapSlots);
  EXPECT_EQ(g_objectMap, g_classTable.tableStart);
  EXPECT_EQ(g_objectMap + 1, g_classTable.tableEnd);
  EXPECT_EQ(g_moduleInstance.handle, g_classTable.typeLibraryModule);
  EXPECT_EQ(reinterpret_cast<HINSTANCE>(::GetModuleHandleA(nullptr)), g_moduleInstance.handle);
  const ObjectMapEntry& agent = *g_objectMap[0];
  EXPECT_TRUE(IsEqualCLSID(CLSID_Agent, *agent.clsid));
  EXPECT_EQ(&CAgent::UpdateRegistration, agent.updateRegistration);
  EXPECT_EQ(nullptr, agent.getCategoryMap());
  EXPECT_EQ(nullptr, agent.getDescription());
  EXPECT_EQ(0u, agent.registrationCookie);

  CInterfacePtr<IClassFactory> factory;
  ASSERT_EQ(S_OK, LookupClassObject(&g_classTable, CLSID_Agent, IID_IClassFactory,
                                    reinterpret_cast<void**>(factory.Receive())));
  EXPECT_EQ(static_cast<IUnknown*>(factory.Get()), agent.classObject);
  CInterfacePtr<IAgent> instance;
  ASSERT_EQ(S_OK, factory.Get()->CreateInstance(nullptr, IID_IAgent,
                                                reinterpret_cast<void**>(instance.Receive())));
  const CBstr refused(::SysAllocString(L"http://example.invalid/"));
  EXPECT_EQ(E_INVALIDARG, instance.Get()->Run(refused.Get()));
  instance.Reset();
  factory.Reset();
  EXPECT_EQ(S_OK, ModuleCanUnloadNow());
}

}  // namespace
