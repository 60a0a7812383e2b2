// Late-bound calls on Agents that Brisvel.DLL hands out, as a client makes
// them: through IDispatch to the platform's shell, and the description given
// back when the library unloads.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "idl/brisvel.h"
#include "support/brisvel_library.h"
#include "support/controlling_object.h"
#include "support/invoke.h"
#include "support/link_recorder.h"
#include "support/registry_override.h"
#include "support/type_library.h"

namespace {

const DISPID kRun = 1;

ULONG References(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

class DispatchClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(S_OK, RegisterBrisvelTypeLibrary());
    ASSERT_TRUE(library_.Loaded()) << ::GetLastError();
  }

  ScopedRegistryOverride classes_{HKEY_CLASSES_ROOT};
  BrisvelLibrary library_;
};

// Resolves "Run" and invokes it with `link`; answers Invoke's result.
HRESULT InvokeRun(IDispatch* dispatch, const wchar_t* link) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"Run")};
  DISPID dispid = 12345;
  EXPECT_EQ(S_OK, dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid));
  EXPECT_EQ(kRun, dispid);
  return InvokeWithLink(dispatch, dispid, link).result;
}

TEST_F(DispatchClientTest, StandAloneAndAggregatedAgentsOpenTheLinkLateBound) {
  LinkRecorder recorder;
  CInterfacePtr<IClassFactory> factory(library_.AgentFactory());
  ASSERT_TRUE(factory);
  CInterfacePtr<IDispatch> standAlone;
  ASSERT_EQ(S_OK, factory.Get()->CreateInstance(nullptr, IID_IDispatch,
                                                reinterpret_cast<void**>(standAlone.Receive())));
  ControllingObject outer;
  ASSERT_EQ(S_OK, outer.Aggregate(factory.Get()));
  factory.Reset();
  CInterfacePtr<IDispatch> aggregated;
  ASSERT_EQ(S_OK,
            outer.QueryInterface(IID_IDispatch, reinterpret_cast<void**>(aggregated.Receive())));

  EXPECT_EQ(S_OK, InvokeRun(standAlone.Get(), L"ed2k://|file|alone.iso|1|00|/"));
  ASSERT_EQ(1u, recorder.WaitForLaunches(1).size());
  EXPECT_EQ(S_OK, InvokeRun(aggregated.Get(), L"ed2k://|file|inner.iso|1|00|/"));
  const std::vector<RecordedLaunch> launches = recorder.WaitForLaunches(2);
  ASSERT_EQ(2u, launches.size());
  EXPECT_EQ("ed2k://|file|alone.iso|1|00|/", launches[0].link);
  EXPECT_EQ("ed2k://|file|inner.iso|1|00|/", launches[1].link);

  aggregated.Reset();
  outer.ReleaseInner();
}

TEST_F(DispatchClientTest, UnloadingTheLibraryReleasesTheDescription) {
  IClassFactory* factory = library_.AgentFactory();
  ASSERT_NE(nullptr, factory);
  IDispatch* agent = nullptr;
  ASSERT_EQ(S_OK,
            factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&agent)));
  factory->Release();
  ITypeInfo* info = nullptr;
  ASSERT_EQ(S_OK, agent->GetTypeInfo(0, 0, &info));
  agent->Release();
  ASSERT_EQ(S_OK, library_.CanUnloadNow());
  const ULONG held = References(info);

  ASSERT_TRUE(library_.Unload());
  EXPECT_EQ(held - 1, References(info));
  info->Release();
}

}  // namespace
