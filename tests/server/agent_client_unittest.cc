// Brisvel.DLL as a client sees it: from DllGetClassObject through the class
// factory to a live Agent and back to a library that may be unloaded, with
// the counts a client can observe along the way.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "idl/brisvel.h"
#include "server/handle.h"
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
  CInterfacePtr<IAgent> agent(CreateAgent());
  ASSERT_TRUE(agent);
  EXPECT_EQ(E_INVALIDARG, RunLink(agent.Get(), L"http://example.invalid/"));
  EXPECT_EQ(S_OK, RunLink(agent.Get(), L"ed2k://|file|client.iso|1|00|/"));
  const std::vector<RecordedLaunch> launches = recorder.WaitForLaunches(1);
  ASSERT_EQ(1u, launches.size());
  EXPECT_EQ("ed2k://|file|client.iso|1|00|/", launches[0].link);

  ReleaseFactory();
  EXPECT_EQ(S_FALSE, library_.CanUnloadNow());
  EXPECT_EQ(0u, agent.Detach()->Release());
  EXPECT_EQ(S_OK, library_.CanUnloadNow());
  EXPECT_TRUE(library_.Unload());
}

TEST_F(AgentClientTest, LibraryComesBackFreshAfterAnUnload) {
  ReleaseFactory();
  ASSERT_TRUE(library_.Unload());
  BrisvelLibrary again;
  ASSERT_TRUE(again.Loaded());
  CInterfacePtr<IClassFactory> factory(again.AgentFactory());
  ASSERT_TRUE(factory);
  // A fresh table: the caller's reference and the table's own.
  EXPECT_EQ(3u, factory.Get()->AddRef());
  EXPECT_EQ(2u, factory.Get()->Release());
  EXPECT_EQ(1u, factory.Detach()->Release());
  EXPECT_EQ(S_OK, again.CanUnloadNow());
}

TEST_F(AgentClientTest, FactoryIsOneObjectCachedForEveryRequest) {
  // The table holds one reference and this caller the other.
  EXPECT_EQ(3u, factory_->AddRef());
  EXPECT_EQ(2u, factory_->Release());
  EXPECT_EQ(S_FALSE, library_.CanUnloadNow());

  CInterfacePtr<IUnknown> unknown;
  ASSERT_EQ(S_OK, library_.GetClassObject(CLSID_Agent, IID_IUnknown,
                                          reinterpret_cast<void**>(unknown.Receive())));
  EXPECT_EQ(static_cast<IUnknown*>(factory_), unknown.Get());
  CInterfacePtr<IClassFactory> again(library_.AgentFactory());
  EXPECT_EQ(factory_, again.Get());
  EXPECT_EQ(3u, again.Detach()->Release());
  EXPECT_EQ(2u, unknown.Detach()->Release());

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
  CInterfacePtr<IDispatch> dispatch;
  ASSERT_EQ(S_OK, factory_->CreateInstance(nullptr, IID_IDispatch,
                                           reinterpret_cast<void**>(dispatch.Receive())));
  CInterfacePtr<IAgent> agent;
  CInterfacePtr<IUnknown> unknown;
  ASSERT_EQ(S_OK,
            dispatch.Get()->QueryInterface(IID_IAgent, reinterpret_cast<void**>(agent.Receive())));
  ASSERT_EQ(S_OK, dispatch.Get()->QueryInterface(IID_IUnknown,
                                                 reinterpret_cast<void**>(unknown.Receive())));
  EXPECT_EQ(static_cast<void*>(dispatch.Get()), static_cast<void*>(agent.Get()));
  EXPECT_EQ(static_cast<void*>(dispatch.Get()), static_cast<void*>(unknown.Get()));

  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOINTERFACE, agent.Get()->QueryInterface(IID_IClassFactory, &out));
  EXPECT_EQ(nullptr, out);
  EXPECT_EQ(E_POINTER, agent.Get()->QueryInterface(IID_IAgent, nullptr));

  EXPECT_EQ(4u, agent.Get()->AddRef());
  EXPECT_EQ(3u, agent.Get()->Release());
  EXPECT_EQ(2u, unknown.Detach()->Release());
  EXPECT_EQ(1u, agent.Detach()->Release());
  ReleaseFactory();
  EXPECT_EQ(S_FALSE, library_.CanUnloadNow());
  EXPECT_EQ(0u, dispatch.Detach()->Release());
  EXPECT_EQ(S_OK, library_.CanUnloadNow());
}

TEST_F(AgentClientTest, LockServerHoldsTheLibraryUntilBalanced) {
  EXPECT_EQ(S_OK, factory_->LockServer(TRUE));
  EXPECT_EQ(S_OK, factory_->LockServer(TRUE));
  EXPECT_EQ(S_OK, factory_->LockServer(FALSE));
  ReleaseFactory();
  EXPECT_EQ(S_FALSE, library_.CanUnloadNow());
  CInterfacePtr<IClassFactory> factory(library_.AgentFactory());
  ASSERT_TRUE(factory);
  EXPECT_EQ(S_OK, factory.Get()->LockServer(FALSE));
  factory.Reset();
  EXPECT_EQ(S_OK, library_.CanUnloadNow());
}

TEST_F(AgentClientTest, AggregatedAgentDelegatesToItsControllingObject) {
  ControllingObject outer;
  ASSERT_EQ(S_OK, outer.Aggregate(factory_));
  ASSERT_NE(nullptr, outer.inner_);
  EXPECT_NE(static_cast<IUnknown*>(&outer), outer.inner_);
  EXPECT_EQ(1u, outer.count_);

  // The inner IUnknown is the aggregated instance itself, with its own count.
  CInterfacePtr<IUnknown> self;
  ASSERT_EQ(S_OK,
            outer.inner_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(self.Receive())));
  EXPECT_EQ(outer.inner_, self.Get());
  EXPECT_EQ(1u, self.Detach()->Release());
  EXPECT_EQ(1u, outer.count_);

  CInterfacePtr<IAgent> agent;
  ASSERT_EQ(S_OK, outer.QueryInterface(IID_IAgent, reinterpret_cast<void**>(agent.Receive())));
  EXPECT_NE(static_cast<void*>(outer.inner_), static_cast<void*>(agent.Get()));
  EXPECT_EQ(2u, outer.count_);
  EXPECT_EQ(3u, agent.Get()->AddRef());
  EXPECT_EQ(2u, agent.Get()->Release());

  // Through IAgent, IUnknown is the controlling object's.
  CInterfacePtr<IUnknown> identity;
  ASSERT_EQ(S_OK, agent.Get()->QueryInterface(IID_IUnknown,
                                              reinterpret_cast<void**>(identity.Receive())));
  EXPECT_EQ(static_cast<IUnknown*>(&outer), identity.Get());
  identity.Reset();
  CInterfacePtr<IDispatch> dispatch;
  ASSERT_EQ(S_OK, agent.Get()->QueryInterface(IID_IDispatch,
                                              reinterpret_cast<void**>(dispatch.Receive())));
  EXPECT_EQ(static_cast<void*>(agent.Get()), static_cast<void*>(dispatch.Get()));
  dispatch.Reset();
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOINTERFACE, outer.inner_->QueryInterface(IID_IClassFactory, &out));
  EXPECT_EQ(nullptr, out);

  EXPECT_EQ(E_INVALIDARG, RunLink(agent.Get(), L"http://example.invalid/"));
  EXPECT_EQ(1u, agent.Detach()->Release());
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
