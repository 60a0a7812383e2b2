// A client's round through the server exports with one of the library's
// allocations refused, for every allocation a clean round makes: the class
// object from DllGetClassObject, an Agent from its CreateInstance (stand-alone
// and aggregated), its other interfaces, and every release. The step that
// meets the refusal answers E_OUTOFMEMORY with a null out pointer, and
// nothing is leaked or left locked; the next round succeeds.
#include <gtest/gtest.h>

#include <string>

#include "idl/brisvel.h"
#include "server/class_table.h"
#include "server/module.h"
#include "support/controlling_object.h"
#include "support/fault_injection.h"

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out);

namespace {

using Kind = CFaultInjector::Kind;

// Lets go of the class object the table keeps, so that the next request
// creates it afresh, as after a failed creation.
void DropCachedClassObject() {
  for (size_t slot = 0; slot < g_objectMapSlots; ++slot) {
    ObjectMapEntry* entry = g_objectMap[slot];
    IUnknown* cached = entry ? entry->classObject : nullptr;
    if (!cached) continue;
    entry->classObject = nullptr;
    cached->Release();
  }
}

// The first failure of a round, with the step it came from.
struct RoundResult {
  HRESULT result = S_OK;
  std::string step;
  bool outCleared = true;  // the failing step left its out pointer null
};

bool Fail(RoundResult* round, const char* step, HRESULT result, const void* out) {
  if (SUCCEEDED(result)) return false;
  *round = {result, step, out == nullptr};
  return true;
}

// Asks `agent` for IDispatch and, through that, for IAgent, calls the
// latter, and gives both back.
bool UseInterfaces(IUnknown* agent, RoundResult* round) {
  IDispatch* dispatch = reinterpret_cast<IDispatch*>(1);
  const HRESULT answered =
      agent->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
  if (Fail(round, "QueryInterface(IDispatch)", answered, dispatch)) return false;
  IAgent* typed = reinterpret_cast<IAgent*>(1);
  const HRESULT result = dispatch->QueryInterface(IID_IAgent, reinterpret_cast<void**>(&typed));
  dispatch->Release();
  if (Fail(round, "QueryInterface(IAgent)", result, typed)) return false;
  UINT count = 0;
  typed->GetTypeInfoCount(&count);
  typed->Release();
  return true;
}

// Agent's class object from the export; null when the export failed, and
// `round` then says how.
IClassFactory* AgentClassObject(RoundResult* round) {
  IClassFactory* factory = reinterpret_cast<IClassFactory*>(1);
  const HRESULT found =
      DllGetClassObject(CLSID_Agent, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  return Fail(round, "DllGetClassObject", found, factory) ? nullptr : factory;
}

// The class object, an Agent of it, and both released again.
RoundResult StandAloneRound() {
  RoundResult round;
  IClassFactory* factory = AgentClassObject(&round);
  if (!factory) return round;
  IUnknown* agent = reinterpret_cast<IUnknown*>(1);
  const HRESULT created =
      factory->CreateInstance(nullptr, IID_IAgent, reinterpret_cast<void**>(&agent));
  factory->Release();
  if (Fail(&round, "CreateInstance", created, agent)) return round;
  UseInterfaces(agent, &round);
  agent->Release();
  return round;
}

// The same with the Agent aggregated into a controlling object.
RoundResult AggregatedRound() {
  RoundResult round;
  IClassFactory* factory = AgentClassObject(&round);
  if (!factory) return round;
  ControllingObject outer;
  outer.inner_ = reinterpret_cast<IUnknown*>(1);
  const HRESULT created = outer.Aggregate(factory);
  factory->Release();
  if (Fail(&round, "CreateInstance(aggregated)", created, outer.inner_)) return round;
  UseInterfaces(&outer, &round);
  outer.ReleaseInner();
  return round;
}

struct RoundCase {
  const char* name;
  RoundResult (*run)();
};

class CreationFaultTest : public ::testing::TestWithParam<RoundCase> {
 protected:
  void SetUp() override { DropCachedClassObject(); }
  void TearDown() override { DropCachedClassObject(); }

  CFaultInjector injector_;
};

TEST_P(CreationFaultTest, EveryRefusedAllocationIsOutOfMemoryAndLeavesNothing) {
  const LONG locks = g_currentModule->GetLockCount();
  injector_.Arm(Kind::kAllocation, 0);
  ASSERT_EQ(S_OK, GetParam().run().result);
  DropCachedClassObject();
  const int allocations = injector_.Calls(Kind::kAllocation);
  // The class object and the instance at the least.
  ASSERT_GE(allocations, 2);
  EXPECT_EQ(0u, injector_.LiveHeapBlocks());

  for (int failAt = 1; failAt <= allocations; ++failAt) {
    injector_.Arm(Kind::kAllocation, failAt);
    const RoundResult round = GetParam().run();
    DropCachedClassObject();
    SCOPED_TRACE("refusing allocation " + std::to_string(failAt) + " (" +
                 injector_.RefusedCall() + ")");
    EXPECT_TRUE(injector_.Refused()) << "a clean round made this allocation";
    EXPECT_EQ(E_OUTOFMEMORY, round.result) << round.step;
    EXPECT_TRUE(round.outCleared) << round.step << " left its out pointer set";
    EXPECT_EQ(0u, injector_.LiveHeapBlocks()) << "heap blocks left";
    EXPECT_EQ(0u, injector_.LiveTaskBlocks()) << "task memory left";
    EXPECT_EQ(locks, g_currentModule->GetLockCount()) << "module locks left";

    injector_.Arm(Kind::kAllocation, 0);
    EXPECT_EQ(S_OK, GetParam().run().result) << "the round after";
    DropCachedClassObject();
  }
}

TEST_P(CreationFaultTest, ARoundMakesNoRegistryCall) {
  injector_.Arm(Kind::kRegistry, 0);
  ASSERT_EQ(S_OK, GetParam().run().result);
  EXPECT_EQ(0, injector_.Calls(Kind::kRegistry));
}

const RoundCase kRounds[] = {
    {"StandAlone", StandAloneRound},
    {"Aggregated", AggregatedRound},
};

std::string RoundName(const ::testing::TestParamInfo<RoundCase>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Rounds, CreationFaultTest, ::testing::ValuesIn(kRounds), RoundName);

}  // namespace
