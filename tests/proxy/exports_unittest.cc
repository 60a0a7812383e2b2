// DllGetClassObject and DllCanUnloadNow of the built library with the
// proxy/stub part in front: the proxy/stub class is the engine's, and what
// the engine made keeps the library loaded.
#include <gtest/gtest.h>

#include "idl/brisvel.h"
#include "server/handle.h"
#include "support/brisvel_library.h"
#include "support/recording_agent.h"

namespace {

const CLSID kUnknownClass = {
    0x1F2E3D4C, 0x5B6A, 0x4978, {0x86, 0x95, 0xA4, 0xB3, 0xC2, 0xD1, 0xE0, 0xF1}};

class ExportsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(S_OK, ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)); }
  void TearDown() override { ::CoUninitialize(); }

  // The proxy/stub class, whose identifier is IAgent's.
  CInterfacePtr<IPSFactoryBuffer> ProxyStubFactory() {
    CInterfacePtr<IPSFactoryBuffer> factory;
    EXPECT_EQ(S_OK, library_.GetClassObject(IID_IAgent, IID_IPSFactoryBuffer,
                                            reinterpret_cast<void**>(factory.Receive())));
    return factory;
  }

  BrisvelLibrary library_;
};

TEST_F(ExportsTest, ProxyStubClassIsServedByTheEngine) {
  EXPECT_EQ(S_OK, library_.CanUnloadNow());
  CInterfacePtr<IPSFactoryBuffer> factory = ProxyStubFactory();
  ASSERT_TRUE(factory);
  CInterfacePtr<IUnknown> unknown;
  EXPECT_EQ(S_OK, library_.GetClassObject(IID_IAgent, IID_IUnknown,
                                          reinterpret_cast<void**>(unknown.Receive())));
  ASSERT_TRUE(unknown);
  // The factory holds the library, with no object of its own alive.
  EXPECT_EQ(S_FALSE, library_.CanUnloadNow());
  unknown.Reset();
  factory.Reset();
  EXPECT_EQ(S_OK, library_.CanUnloadNow());
}

TEST_F(ExportsTest, AgentClassIsServedByTheClassTable) {
  CInterfacePtr<IClassFactory> factory;
  ASSERT_EQ(S_OK, library_.GetClassObject(CLSID_Agent, IID_IClassFactory,
                                          reinterpret_cast<void**>(factory.Receive())));
  CInterfacePtr<IAgent> agent;
  EXPECT_EQ(S_OK, factory.Get()->CreateInstance(nullptr, IID_IAgent,
                                                reinterpret_cast<void**>(agent.Receive())));
  ASSERT_TRUE(agent);
  agent.Reset();
  factory.Reset();
  // The answer is the Agent factory's, which is no proxy/stub factory.
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOINTERFACE, library_.GetClassObject(CLSID_Agent, IID_IPSFactoryBuffer, &out));
  EXPECT_EQ(nullptr, out);
  EXPECT_EQ(S_OK, library_.CanUnloadNow());
}

TEST_F(ExportsTest, ClassesNeitherPartKnowsAreNotAvailable) {
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, library_.GetClassObject(kUnknownClass, IID_IUnknown, &out));
  EXPECT_EQ(nullptr, out);
}

TEST_F(ExportsTest, NullOutPointerIsAPointerError) {
  for (const CLSID* clsid : {&IID_IAgent, &CLSID_Agent, &kUnknownClass}) {
    EXPECT_EQ(E_POINTER, library_.GetClassObject(*clsid, IID_IUnknown, nullptr));
  }
}

TEST_F(ExportsTest, StubKeepsTheLibraryLoadedUntilReleased) {
  RecordingAgent agent;
  CInterfacePtr<IPSFactoryBuffer> factory = ProxyStubFactory();
  ASSERT_TRUE(factory);
  IRpcStubBuffer* stub = nullptr;
  ASSERT_EQ(S_OK, factory.Get()->CreateStub(IID_IAgent, &agent, &stub));
  factory.Reset();
  EXPECT_EQ(S_FALSE, library_.CanUnloadNow());
  // The stub's own release routine gives the engine's factory back.
  EXPECT_EQ(0u, stub->Release());
  EXPECT_EQ(S_OK, library_.CanUnloadNow());
  EXPECT_EQ(0, agent.ExtraReferences());
}

TEST_F(ExportsTest, ProxyKeepsTheLibraryLoadedUntilReleased) {
  CInterfacePtr<IPSFactoryBuffer> factory = ProxyStubFactory();
  ASSERT_TRUE(factory);
  RecordingAgent outer;
  IRpcProxyBuffer* proxy = nullptr;
  void* agent = nullptr;
  ASSERT_EQ(S_OK, factory.Get()->CreateProxy(&outer, IID_IAgent, &proxy, &agent));
  factory.Reset();
  EXPECT_EQ(S_FALSE, library_.CanUnloadNow());
  // The interface pointer counts on the outer object; the proxy buffer is
  // the proxy's own reference.
  static_cast<IAgent*>(agent)->Release();
  proxy->Release();
  EXPECT_EQ(S_OK, library_.CanUnloadNow());
}

}  // namespace
