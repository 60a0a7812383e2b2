// Instances from the inside: the exact module lock each one holds, the mark
// it carries while being destroyed, and what a construction that runs out of
// memory or throws leaves behind.
#include <gtest/gtest.h>

#include <vector>

#include "agent/agent.h"
#include "server/class_factory.h"
#include "server/instance.h"
#include "server/module.h"
#include "support/case_name.h"
#include "support/platform_override.h"

namespace {

// The count field of every block freed while a test runs, read just before
// the block goes back to the heap.
struct FreedBlock {
  void* block;
  LONG count;
};
std::vector<FreedBlock> g_freed;

void RecordingHeapRelease(void* block) {
  // The count follows the vtable pointer.
  if (block) {
    g_freed.push_back({block, *reinterpret_cast<LONG*>(static_cast<char*>(block) + sizeof(void*))});
  }
  DefaultPlatformCalls().HeapRelease(block);
}

LONG LockCount() { return g_currentModule->GetLockCount(); }

// A controlling object that only counts; enough to own an aggregated
// instance for the length of a test.
class CountingOuter : public IUnknown {
 public:
  STDMETHODIMP QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++count; }
  STDMETHODIMP_(ULONG) Release() override { return --count; }
  ULONG count = 1;
};

CountingOuter g_outer;

HRESULT CreateStandAlone(REFIID iid, void** out) {
  return CreateInstanceChooser<CAgent>(nullptr, iid, out);
}
HRESULT CreateAggregated(REFIID iid, void** out) {
  return CreateInstanceChooser<CAgent>(&g_outer, iid, out);
}
HRESULT CreateFactory(REFIID iid, void** out) {
  return CreateClassFactory(CreateInstanceChooser<CAgent>, iid, out);
}

struct CreatorCase {
  const char* name;
  HRESULT (*create)(REFIID iid, void** out);
  LONG locksWhileLive;  // a factory held by its creator alone holds none
};

const CreatorCase kCreators[] = {
    {"stand-alone agent", CreateStandAlone, 1},
    {"aggregated agent", CreateAggregated, 1},
    {"class factory", CreateFactory, 0},
};

class CreatorTest : public ::testing::TestWithParam<CreatorCase> {
 protected:
  void SetUp() override {
    g_freed.clear();
    platform_->HeapRelease = RecordingHeapRelease;
    locks_ = LockCount();
  }

  ScopedPlatformCalls platform_;
  LONG locks_ = 0;
};

TEST_P(CreatorTest, LastReleaseMarksTheCountAndGivesTheLockBack) {
  IUnknown* object = nullptr;
  ASSERT_EQ(S_OK, GetParam().create(IID_IUnknown, reinterpret_cast<void**>(&object)));
  EXPECT_EQ(locks_ + GetParam().locksWhileLive, LockCount());
  EXPECT_EQ(2u, object->AddRef());
  EXPECT_EQ(1u, object->Release());
  EXPECT_TRUE(g_freed.empty());
  EXPECT_EQ(0u, object->Release());
  EXPECT_EQ(locks_, LockCount());
  ASSERT_EQ(1u, g_freed.size());
  EXPECT_EQ(static_cast<void*>(object), g_freed[0].block);
  EXPECT_EQ(static_cast<LONG>(0xC0000001), g_freed[0].count);
}

TEST_P(CreatorTest, InterfaceItLacksDestroysItAtOnce) {
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOINTERFACE, GetParam().create(IID_IPersist, &out));
  EXPECT_EQ(nullptr, out);
  EXPECT_EQ(locks_, LockCount());
  ASSERT_EQ(1u, g_freed.size());
  EXPECT_EQ(static_cast<LONG>(0xC0000001), g_freed[0].count);
}

TEST_P(CreatorTest, NoMemoryIsOutOfMemoryWithNothingLeftBehind) {
  platform_->HeapAllocate = [](size_t) -> void* { return nullptr; };
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_OUTOFMEMORY, GetParam().create(IID_IUnknown, &out));
  EXPECT_EQ(nullptr, out);
  EXPECT_EQ(locks_, LockCount());
  EXPECT_TRUE(g_freed.empty());
}

TEST_P(CreatorTest, NullOutPointerCreatesNothing) {
  int allocations = 0;
  static int* counter;
  counter = &allocations;
  platform_->HeapAllocate = [](size_t bytes) -> void* {
    ++*counter;
    return DefaultPlatformCalls().HeapAllocate(bytes);
  };
  EXPECT_EQ(E_POINTER, GetParam().create(IID_IUnknown, nullptr));
  EXPECT_EQ(0, allocations);
  EXPECT_EQ(locks_, LockCount());
}

INSTANTIATE_TEST_SUITE_P(Creators, CreatorTest, ::testing::ValuesIn(kCreators), CaseName());

// An implementation class whose construction throws, as any construction
// inside the library may.
class CThrowingImplementation : public IUnknown {
 public:
  CThrowingImplementation() { throw 42; }
  static const InterfaceMapEntry* GetInterfaceMap() { return kInterfaces; }

 private:
  static const InterfaceMapEntry kInterfaces[];
};

const InterfaceMapEntry CThrowingImplementation::kInterfaces[] = {
    {&IID_IUnknown, 0, kOffsetEntry}, {nullptr, 0, nullptr}};

TEST(InstanceConstructionTest, ExceptionIsOutOfMemoryWithTheMemoryFreedAndNoLock) {
  ScopedPlatformCalls platform;
  g_freed.clear();
  platform->HeapRelease = RecordingHeapRelease;
  const LONG locks = LockCount();
  CountingOuter outer;
  for (IUnknown* controlling : {static_cast<IUnknown*>(nullptr), static_cast<IUnknown*>(&outer)}) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_OUTOFMEMORY,
              CreateInstanceChooser<CThrowingImplementation>(controlling, IID_IUnknown, &out));
    EXPECT_EQ(nullptr, out);
  }
  EXPECT_EQ(locks, LockCount());
  EXPECT_EQ(2u, g_freed.size());
  EXPECT_EQ(1u, outer.count);
}

BOOL WINAPI RefusingInitialisation(LPCRITICAL_SECTION, DWORD) {
  ::SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

TEST(InstanceConstructionTest, FactoryWithoutItsCriticalSectionIsOutOfMemory) {
  ScopedPlatformCalls platform;
  g_freed.clear();
  platform->HeapRelease = RecordingHeapRelease;
  platform->InitializeCriticalSectionAndSpinCount = RefusingInitialisation;
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_OUTOFMEMORY, CreateFactory(IID_IUnknown, &out));
  EXPECT_EQ(nullptr, out);
  EXPECT_EQ(1u, g_freed.size());
}

TEST(InstanceLockTest, EveryLiveInstanceHoldsOneModuleLock) {
  const LONG locks = LockCount();
  IAgent* agents[3] = {};
  for (IAgent*& agent : agents) {
    ASSERT_EQ(S_OK, CreateStandAlone(IID_IAgent, reinterpret_cast<void**>(&agent)));
  }
  IUnknown* aggregated = nullptr;
  ASSERT_EQ(S_OK, CreateAggregated(IID_IUnknown, reinterpret_cast<void**>(&aggregated)));
  EXPECT_EQ(locks + 4, LockCount());
  EXPECT_EQ(S_FALSE, ModuleCanUnloadNow());
  for (IAgent* agent : agents) EXPECT_EQ(0u, agent->Release());
  EXPECT_EQ(0u, aggregated->Release());
  EXPECT_EQ(locks, LockCount());
}

TEST(AggregatedInstanceTest, HandsOutTheInnerObjectWhoseCountIsTheControllingObjects) {
  CountingOuter outer;
  IUnknown* aggregated = nullptr;
  ASSERT_EQ(S_OK, CreateInstanceChooser<CAgent>(&outer, IID_IUnknown,
                                                reinterpret_cast<void**>(&aggregated)));
  IAgent* agent = nullptr;
  ASSERT_EQ(S_OK, aggregated->QueryInterface(IID_IAgent, reinterpret_cast<void**>(&agent)));
  // The inner object sits after the aggregated instance's vtable and count.
  EXPECT_EQ(reinterpret_cast<char*>(aggregated) + 2 * sizeof(void*),
            reinterpret_cast<char*>(agent));
  EXPECT_EQ(2u, outer.count);
  agent->Release();
  EXPECT_EQ(1u, outer.count);
  EXPECT_EQ(E_POINTER, aggregated->QueryInterface(IID_IAgent, nullptr));
  EXPECT_EQ(0u, aggregated->Release());
  EXPECT_EQ(1u, outer.count);
}

}  // namespace
