// DllRegisterServer and DllUnregisterServer with one of the library's
// allocations, or one of its registry calls, refused: for every such call a
// clean run makes, the export ends with the refused call's code or succeeds
// all the same, leaks no block and no key, leaves no module lock taken,
// leaves the registry as its failure handling says, and a clean run
// afterwards succeeds. They run in this process against a private
// HKEY_CLASSES_ROOT.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "proxy/proxy_stub.h"
#include "server/module.h"
#include "support/fault_injection.h"
#include "support/registry_override.h"

STDAPI DllRegisterServer();
STDAPI DllUnregisterServer();

namespace {

using Kind = CFaultInjector::Kind;

std::set<std::string> LinesOf(const std::string& dump) {
  std::set<std::string> lines;
  std::istringstream in(dump);
  for (std::string line; std::getline(in, line);) lines.insert(line);
  return lines;
}

// True when every line of `part` is a line of `whole`.
bool IsPartOf(const std::string& part, const std::string& whole) {
  const std::set<std::string> all = LinesOf(whole);
  for (const std::string& line : LinesOf(part)) {
    if (!all.count(line)) return false;
  }
  return true;
}

using Export = HRESULT(STDAPICALLTYPE*)();

class RegistrationFaultTest : public ::testing::TestWithParam<Kind> {
 protected:
  void SetUp() override {
    // This program stands in for the DLL: the loader's attach names it.
    ProxyStubAttach(::GetModuleHandleA(nullptr), DLL_PROCESS_ATTACH, nullptr);
    // The first round also creates the keys the scripts never remove; every
    // round after it starts from what a removal leaves.
    ASSERT_EQ(S_OK, DllRegisterServer());
    ASSERT_EQ(S_OK, DllUnregisterServer());
    baseline_ = Dump();
    ASSERT_EQ(S_OK, DllRegisterServer());
    registered_ = Dump();
    ASSERT_EQ(S_OK, DllUnregisterServer());
    ASSERT_EQ(baseline_, Dump());
  }

  static std::string Dump() { return DumpRegistryTree(HKEY_CLASSES_ROOT, ""); }

  // Runs `exported` once for each call of the sweep's kind that a clean run
  // makes, refusing that call, each time from the baseline or (`overRegistered`)
  // from a registration. Each run must end with S_OK and the registry
  // `succeeded`, or with the refusal's code and a registry that holds nothing
  // a registration does not; a clean removal afterwards must reach the
  // baseline. Answers each distinct registry a failure left, in order.
  std::vector<std::string> Sweep(Export exported, bool overRegistered,
                                 const std::string& succeeded) {
    if (overRegistered) {
      EXPECT_EQ(S_OK, DllRegisterServer());
    }
    injector_.Arm(GetParam(), 0);
    EXPECT_EQ(S_OK, exported());
    const int calls = injector_.Calls(GetParam());
    EXPECT_GT(calls, 0);
    EXPECT_EQ(S_OK, DllUnregisterServer());
    std::vector<std::string> failedStates;
    for (int failAt = 1; failAt <= calls && !HasFailure(); ++failAt) {
      if (overRegistered) {
        EXPECT_EQ(S_OK, DllRegisterServer());
      }
      const HRESULT result = RunRefusing(exported, failAt);
      SCOPED_TRACE(Describe(failAt));
      const std::string after = Dump();
      if (result == S_OK) {
        EXPECT_EQ(succeeded, after) << "a run that succeeds does all its work";
      } else {
        EXPECT_TRUE(IsRefusalResult(result)) << std::hex << result;
        EXPECT_TRUE(IsPartOf(after, registered_)) << after;
        if (failedStates.empty() || failedStates.back() != after) failedStates.push_back(after);
      }
      EXPECT_EQ(S_OK, DllUnregisterServer()) << "removing after the failure";
      EXPECT_EQ(baseline_, Dump()) << "what the removal after the failure left";
    }
    return failedStates;
  }

  // Runs `exported` with the `failAt`th call of the sweep's kind refused;
  // checks that the call was refused and that the run kept its books.
  HRESULT RunRefusing(Export exported, int failAt) {
    const LONG locks = g_currentModule->GetLockCount();
    injector_.Arm(GetParam(), failAt);
    const HRESULT result = exported();
    refusedCall_ = injector_.RefusedCall();
    SCOPED_TRACE(Describe(failAt));
    EXPECT_TRUE(injector_.Refused()) << "a clean run made this call";
    EXPECT_EQ(0u, injector_.LiveHeapBlocks()) << "heap blocks left";
    EXPECT_EQ(0u, injector_.LiveTaskBlocks()) << "task memory left";
    EXPECT_EQ(0u, injector_.OpenKeys()) << "keys left open";
    EXPECT_EQ(locks, g_currentModule->GetLockCount()) << "module locks left";
    injector_.Arm(GetParam(), 0);
    return result;
  }

  // The codes a refusal may end an export with: out of memory, or the
  // registry's code, which a key that could then only be opened for reading
  // turns into the access error of its first write.
  bool IsRefusalResult(HRESULT result) const {
    if (GetParam() == Kind::kAllocation) return result == E_OUTOFMEMORY;
    const bool readOnlyKey = refusedCall_.rfind("RegOpenKeyExA", 0) == 0 ||
                             refusedCall_.rfind("RegCreateKeyExA", 0) == 0;
    return result == HRESULT_FROM_WIN32(CFaultInjector::kRegistryFailure) ||
           (readOnlyKey && result == E_ACCESSDENIED);
  }

  // Which run this is.
  std::string Describe(int failAt) const {
    std::ostringstream text;
    text << "refusing call " << failAt << " (" << refusedCall_ << ")";
    return text.str();
  }

  ScopedRegistryOverride classes_{HKEY_CLASSES_ROOT};
  CFaultInjector injector_;
  std::string refusedCall_;  // of the latest run
  std::string registered_;
  std::string baseline_;
};

TEST_P(RegistrationFaultTest, RegisteringEndsWithTheRefusalAndRollsBackItsRootBlock) {
  const std::vector<std::string> failedStates = Sweep(DllRegisterServer, false, registered_);
  // The failing root block is removed again, so a failure leaves the
  // registry as it was before the script that failed: untouched when the
  // AppID script failed, holding the AppID entries when the class script
  // failed, and never anything in between.
  ASSERT_FALSE(failedStates.empty());
  EXPECT_LE(failedStates.size(), 2u);
  EXPECT_EQ(baseline_, failedStates.front());
  for (size_t i = 1; i < failedStates.size(); ++i) {
    EXPECT_TRUE(IsPartOf(failedStates[i - 1], failedStates[i]));
  }
}

// Registering over an existing registration force-removes the class key
// with its subkeys first, and opens the keys that are there.
TEST_P(RegistrationFaultTest, RegisteringAgainEndsWithTheRefusalAndRollsBackItsRootBlock) {
  const std::vector<std::string> failedStates = Sweep(DllRegisterServer, true, registered_);
  // Each failing script's root block is removed whole: one state for each.
  ASSERT_FALSE(failedStates.empty());
  EXPECT_LE(failedStates.size(), 2u);
}

// Removal stops at its first failure and undoes nothing, so what a failure
// leaves is any part of the registration; a clean removal finishes it.
TEST_P(RegistrationFaultTest, RemovingEndsWithTheRefusalAndACleanRemovalFinishesIt) {
  const std::vector<std::string> failedStates = Sweep(DllUnregisterServer, true, baseline_);
  EXPECT_FALSE(failedStates.empty());
}

std::string KindName(const ::testing::TestParamInfo<Kind>& info) {
  return info.param == Kind::kAllocation ? "Allocations" : "RegistryCalls";
}

INSTANTIATE_TEST_SUITE_P(EveryCall, RegistrationFaultTest,
                         ::testing::Values(Kind::kAllocation, Kind::kRegistry), KindName);

}  // namespace
