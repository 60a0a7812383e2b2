// Brisvel.DLL as a client sees it: from DllGetClassObject through the class
// factory to a live Agent and back to a library that may be unloaded, with
// the counts a client can observe along the way.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "idl/brisvel.h"
#include "support/brisvel_library.h"
#include "support/controlling_object.h"
#include "support/link_recorder.h"
#include "support/registry_override.h"

namespace {

HRESULT RunLink(IAgent* agent, const wchar_t* link) {
  BSTR text = ::SysAllocString(link);
  const HRESULT result = agent->Run(text);
  ::SysFreeString(text);
  return result;
}

class AgentClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(library_.Loaded()) << ::GetLastError();
    factory_ = library_.AgentFactory();
    ASSERT_NE(nullptr, factory_);
  }
  void TearDown() override { ReleaseFactory(); }

  void ReleaseFactory() {
    if (factory_) factory_->Release();
    factory_ = nullptr;
  }

  IAgent* CreateAgent() {
    IAgent* agent = nullptr;
    EXPECT_EQ(S_OK, factory_->CreateInstance(nullptr, IID_IAgent, reinterpret_cast<void**>(&agent)));
    return agent;
  }

  BrisvelLibrary library_;
  IClassFactory* factory_ = nullptr;
};

TEST_F(AgentClientTest, RunsThroughTheVtableAndUnloadsAfterTheLastRelease) {
  ScopedRegistryOverride classes(HKEY_CLASSES_ROOT);
  LinkRecorder recorder;
  IAgent* agent = CreateAgent();
  ASSERT_NE(nullptr, agent);
  EXPECT_EQ(E_INVALIDARG, RunLink(agent, L"http://example.invalid/"));
  EXPECT_EQ(S_OK, RunLink(agent, L"ed2k://|file|client.iso|1|00|/"));
  const std::vector<RecordedLaunch> launches = recorder.WaitForLaunches(1);
  ASSERT_EQ(1u, launches.size());
  EXPECT_EQ("ed2k://|file|client.iso|1|00|/", launches[0].link);

  ReleaseFactory();
  EXPECT_EQ(S_FALSE, library_.CanUnloadNow());
  EXPECT_EQ(0u, agent->Release());
  EXPECT_EQ(S_OK, library_.CanUnloadNow());
  EXPECT_TRUE(library_.Unload());
}

TEST_F(AgentClientTest, LibraryComesBackFreshAfterAnUnload) {
  ReleaseFactory();
  ASSERT_TRUE(library_.Unload());
  BrisvelLibrary again;
  ASSERT_TRUE(again.Loaded());
  IClassFactory* factory = again.AgentFactory();
  ASSERT_NE(nullptr, factory);
  // A fresh table: the caller's reference and the table's own.
  EXPECT_EQ(3u, factory->AddRef());
  EXPECT_EQ(2u, factory->Release());
  EXPECT_EQ(1u, factory->Release());
  EXPECT_EQ(S_OK, again.CanUnloadNow());
}

TEST_F(AgentClientTest, FactoryIsOneObjectCachedForEveryRequest) {
  // The table holds one reference and this caller the other.
  EXPECT_EQ(3u, factory_->AddRef());
  EXPECT_EQ(2u, factory_->Release());
  EXPECT_EQ(S_FALSE, library_.CanUnloadNow());

  IUnknown* unknown = nullptr;
  ASSERT_EQ(S_OK, library_.GetClassObject(CLSID_Agent, IID_IUnknown,
                                          reinterpret_cast<void**>(&unknown)));
  EXPECT_EQ(static_cast<IUnknown*>(factory_), unknown);
  IClassFactory* again = library_.AgentFactory();
  EXPECT_EQ(factory_, again);
  EXPECT_EQ(3u, again->Release());
  EXPECT_EQ(2u, unknown->Release());

  ReleaseFactory();
  EXPECT_EQ(S_OK, library_.CanUnloadNow());
}

TEST_F(AgentClientTest, RefusedRequestsHandOutNothingAndKeepTheCounts) {
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(HRESULT(0x80040111), library_.GetClassObject(IID_IAgent, IID_IClassFactory, &out));
  EXPECT_EQ(nullptr, out);

  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOINTERFACE, library_.GetClassObject(CLSID_Agent, IID_IDispatch, &out));
  EXPECT_EQ(nullptr, out);
  EXPECT_EQ(E_POINTER, library_.GetClassObject(CLSID_Agent, IID_IClassFactory, nullptr));

  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOINTERFACE, factory_->CreateInstance(nullptr, IID_IClassFactory, &out));
  EXPECT_EQ(nullptr, out);
  EXPECT_EQ(E_POINTER, factory_->CreateInstance(nullptr, IID_IAgent, nullptr));

  // Still only this caller's reference and the table's.
  EXPECT_EQ(3u, factory_->AddRef());
  EXPECT_EQ(2u, factory_->Release());
  ReleaseFactory();
  EXPECT_EQ(S_OK, library_.CanUnloadNow());
}

TEST_F(AgentClientTest, AgentAnswersItsInterfacesWithOneIdentity) {
  IDispatch* dispatch = nullptr;
  ASSERT_EQ(S_OK, factory_->CreateInstance(nullptr, IID_IDispatch,
                                           reinterpret_cast<void**>(&dispatch)));
  IAgent* agent = nullptr;
  IUnknown* unknown = nullptr;
  ASSERT_EQ(S_OK, dispatch->QueryInterface(IID_IAgent, reinterpret_cast<void**>(&agent)));
  ASSERT_EQ(S_OK, dispatch->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)));
  EXPECT_EQ(static_cast<void*>(dispatch), static_cast<void*>(agent));
  EXPECT_EQ(static_cast<void*>(dispatch), static_cast<void*>(unknown));

  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOINTERFACE, agent->QueryInterface(IID_IClassFactory, &out));
  EXPECT_EQ(nullptr, out);
  EXPECT_EQ(E_POINTER, agent->QueryInterface(IID_IAgent, nullptr));

  EXPECT_EQ(4u, agent->AddRef());
  EXPECT_EQ(3u, agent->Release());
  EXPECT_EQ(2u, unknown->Release());
  EXPECT_EQ(1u, agent->Release());
  ReleaseFactory();
  EXPECT_EQ(S_FALSE, library_.CanUnloadNow());
  EXPECT_EQ(0u, dispatch->Release());
  EXPECT_EQ(S_OK, library_.CanUnloadNow());
}

TEST_F(AgentClientTest, LockServerHoldsTheLibraryUntilBalanced) {
  EXPECT_EQ(S_OK, factory_->LockServer(TRUE));
  EXPECT_EQ(S_OK, factory_->LockServer(TRUE));
  EXPECT_EQ(S_OK, factory_->LockServer(FALSE));
  ReleaseFactory();
  EXPECT_EQ(S_FALSE, library_.CanUnloadNow());
  IClassFactory* factory = library_.AgentFactory();
  ASSERT_NE(nullptr, factory);
  EXPECT_EQ(S_OK, factory->LockServer(FALSE));
  factory->Release();
  EXPECT_EQ(S_OK, library_.CanUnloadNow());
}

TEST_F(AgentClientTest, AggregatedAgentDelegatesToItsControllingObject) {
  ControllingObject outer;
  ASSERT_EQ(S_OK, outer.Aggregate(factory_));
  ASSERT_NE(nullptr, outer.inner_);
  EXPECT_NE(static_cast<IUnknown*>(&outer), outer.inner_);
  EXPECT_EQ(1u, outer.count_);

  // The inner IUnknown is the aggregated instance itself, with its own count.
  IUnknown* self = nullptr;
  ASSERT_EQ(S_OK, outer.inner_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&self)));
  EXPECT_EQ(outer.inner_, self);
  EXPECT_EQ(1u, self->Release());
  EXPECT_EQ(1u, outer.count_);

  IAgent* agent = nullptr;
  ASSERT_EQ(S_OK, outer.QueryInterface(IID_IAgent, reinterpret_cast<void**>(&agent)));
  EXPECT_NE(static_cast<void*>(outer.inner_), static_cast<void*>(agent));
  EXPECT_EQ(2u, outer.count_);
  EXPECT_EQ(3u, agent->AddRef());
  EXPECT_EQ(2u, agent->Release());

  // Through IAgent, IUnknown is the controlling object's.
  IUnknown* identity = nullptr;
  ASSERT_EQ(S_OK, agent->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
  EXPECT_EQ(static_cast<IUnknown*>(&outer), identity);
  identity->Release();
  IDispatch* dispatch = nullptr;
  ASSERT_EQ(S_OK, agent->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)));
  EXPECT_EQ(static_cast<void*>(agent), static_cast<void*>(dispatch));
  dispatch->Release();
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOINTERFACE, outer.inner_->QueryInterface(IID_IClassFactory, &out));
  EXPECT_EQ(nullptr, out);

  EXPECT_EQ(E_INVALIDARG, RunLink(agent, L"http://example.invalid/"));
  EXPECT_EQ(1u, agent->Release());
  EXPECT_EQ(1u, outer.count_);
  // None of that reached the aggregated instance's own count.
  EXPECT_EQ(2u, outer.inner_->AddRef());
  EXPECT_EQ(1u, outer.inner_->Release());

  ReleaseFactory();
  EXPECT_EQ(S_FALSE, library_.CanUnloadNow());
  outer.ReleaseInner();
  EXPECT_EQ(S_OK, library_.CanUnloadNow());
}

TEST_F(AgentClientTest, ControllingObjectMayAskForIUnknownOnly) {
  ControllingObject outer;
  for (const IID* iid : {&IID_IAgent, &IID_IDispatch, &IID_IClassFactory}) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory_->CreateInstance(&outer, *iid, &out));
    EXPECT_EQ(nullptr, out);
  }
  EXPECT_EQ(1u, outer.count_);
  ReleaseFactory();
  EXPECT_EQ(S_OK, library_.CanUnloadNow());
}

}  // namespace
