// IAgent between two single-threaded apartments of one process, through the
// library's proxy/stub as the component runtime finds it in the registry:
// what the caller sends is what the object receives, on the object's own
// thread, and the object's answer comes back unchanged; an Agent of the
// library's own, called from the other apartment, opens what Run accepts.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "idl/brisvel.h"
#include "proxy/proxy_registration.h"
#include "proxy/recording_agent.h"
#include "support/brisvel_library.h"
#include "support/case_name.h"
#include "support/link_recorder.h"

namespace {

// What the other apartment's thread is handed, and what it reports.
struct OtherApartmentWork {
  IStream* stream;
  const std::function<void(IAgent*)>* call;
  HRESULT unmarshaled;
};

DWORD WINAPI RunInOtherApartment(void* argument) {
  OtherApartmentWork& work = *static_cast<OtherApartmentWork*>(argument);
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IAgent* proxy = nullptr;
  work.unmarshaled = ::CoGetInterfaceAndReleaseStream(work.stream, IID_IAgent,
                                                      reinterpret_cast<void**>(&proxy));
  if (proxy) {
    (*work.call)(proxy);
    proxy->Release();
  }
  ::CoUninitialize();
  return 0;
}

// Runs `call` in a new single-threaded apartment on `object` marshaled there,
// while this apartment serves the calls that come back to it.
void CallFromOtherApartment(IAgent* object, const std::function<void(IAgent*)>& call) {
  IStream* stream = nullptr;
  ASSERT_EQ(S_OK, ::CoMarshalInterThreadInterfaceInStream(IID_IAgent, object, &stream));
  OtherApartmentWork work = {stream, &call, E_FAIL};
  HANDLE thread = ::CreateThread(nullptr, 0, RunInOtherApartment, &work, 0, nullptr);
  ASSERT_NE(nullptr, thread);
  while (::MsgWaitForMultipleObjects(1, &thread, FALSE, 30000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
  }
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(thread, 0)) << "the other apartment hangs";
  ::CloseHandle(thread);
  EXPECT_EQ(S_OK, work.unmarshaled);
}

class ApartmentsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(S_OK, ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)); }
  void TearDown() override { ::CoUninitialize(); }

  BrisvelLibrary library_;
  ScopedProxyStubRegistration registration_;
  RecordingAgent agent_;
};

struct LinkCase {
  const char* name;
  std::wstring link;
  HRESULT answer;
};

const LinkCase kLinkCases[] = {
    {"accepted link", L"ed2k://|file|a b.iso|12|ABCDEF|/", S_OK},
    {"refusal", L"http://example.invalid/", E_INVALIDARG},
    {"embedded NUL", std::wstring(L"ed2k:a\0tail", 11), S_OK},
    {"empty", L"", E_INVALIDARG},
    {"success code other than S_OK", L"ed2k:x", S_FALSE},
    {"failure of the object's own", L"ed2k:x", HRESULT(0x80041234)},
    {"link of a megabyte", L"ed2k:" + std::wstring(512 * 1024, L'\x00E9'), S_OK},
};

class ApartmentsLinkTest : public ApartmentsTest,
                           public ::testing::WithParamInterface<LinkCase> {};

TEST_P(ApartmentsLinkTest, RunArrivesWholeAndAnswersUnchanged) {
  const LinkCase& c = GetParam();
  agent_.runAnswer = c.answer;
  DWORD callerThread = 0;
  HRESULT result = E_UNEXPECTED;
  CallFromOtherApartment(&agent_, [&](IAgent* proxy) {
    callerThread = ::GetCurrentThreadId();
    BSTR link = ::SysAllocStringLen(c.link.data(), static_cast<UINT>(c.link.size()));
    result = proxy->Run(link);
    ::SysFreeString(link);
  });
  EXPECT_EQ(c.answer, result);
  ASSERT_EQ(1, agent_.runCalls);
  EXPECT_FALSE(agent_.linkWasNull);
  EXPECT_TRUE(c.link == agent_.link) << "arrived with " << agent_.link.size() << " units";
  EXPECT_EQ(::GetCurrentThreadId(), agent_.runThread);
  EXPECT_NE(callerThread, agent_.runThread);
  EXPECT_EQ(0, agent_.ExtraReferences());
}

INSTANTIATE_TEST_SUITE_P(Links, ApartmentsLinkTest, ::testing::ValuesIn(kLinkCases), CaseName());

TEST_F(ApartmentsTest, NullLinkArrivesAsNull) {
  agent_.runAnswer = E_POINTER;
  HRESULT result = S_OK;
  CallFromOtherApartment(&agent_, [&](IAgent* proxy) { result = proxy->Run(nullptr); });
  EXPECT_EQ(E_POINTER, result);
  ASSERT_EQ(1, agent_.runCalls);
  EXPECT_TRUE(agent_.linkWasNull);
}

TEST_F(ApartmentsTest, DispatchMethodsGoThroughTheBaseInterface) {
  agent_.typeInfoCount = 3;
  UINT count = 0;
  HRESULT countResult = E_UNEXPECTED;
  DISPID dispids[2] = {};
  HRESULT namesResult = E_UNEXPECTED;
  CallFromOtherApartment(&agent_, [&](IAgent* proxy) {
    countResult = proxy->GetTypeInfoCount(&count);
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"run"), const_cast<LPOLESTR>(L"Walk")};
    namesResult = proxy->GetIDsOfNames(IID_NULL, names, 2, LOCALE_USER_DEFAULT, dispids);
  });
  EXPECT_EQ(S_OK, countResult);
  EXPECT_EQ(3u, count);
  EXPECT_EQ(DISP_E_UNKNOWNNAME, namesResult);
  EXPECT_EQ(1, dispids[0]);
  EXPECT_EQ(DISPID_UNKNOWN, dispids[1]);
  EXPECT_EQ(0, agent_.runCalls);
}

TEST_F(ApartmentsTest, ProxyAndStubKeepTheLibraryLoaded) {
  EXPECT_EQ(S_OK, library_.CanUnloadNow());
  HRESULT whileCalled = E_UNEXPECTED;
  CallFromOtherApartment(&agent_, [&](IAgent* proxy) {
    EXPECT_EQ(S_OK, proxy->Run(nullptr));
    // No object of the library's own is alive anywhere: only the proxy here
    // and the stub in the other apartment hold the library.
    whileCalled = library_.CanUnloadNow();
  });
  EXPECT_EQ(S_FALSE, whileCalled);
  EXPECT_EQ(S_OK, library_.CanUnloadNow());
}

// The library's own Agent, created in this apartment and called from another.
class AgentApartmentsTest : public ApartmentsTest {
 protected:
  void SetUp() override {
    ApartmentsTest::SetUp();
    IClassFactory* factory = library_.AgentFactory();
    ASSERT_NE(nullptr, factory);
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IAgent, reinterpret_cast<void**>(&agent_)));
    factory->Release();
  }
  void TearDown() override {
    if (agent_) agent_->Release();
    ApartmentsTest::TearDown();
  }

  // Runs `link` from the other apartment, then an accepted closing link, so
  // that everything the first could have launched has arrived once the
  // closing one is there. The two handler processes may write in either
  // order.
  HRESULT RunFromOtherApartment(const std::wstring* link) {
    HRESULT result = E_UNEXPECTED;
    CallFromOtherApartment(agent_, [&](IAgent* proxy) {
      BSTR text = link ? ::SysAllocStringLen(link->data(), static_cast<UINT>(link->size()))
                       : nullptr;
      result = proxy->Run(text);
      ::SysFreeString(text);
      BSTR closing = ::SysAllocString(L"ed2k:closing");
      EXPECT_EQ(S_OK, proxy->Run(closing));
      ::SysFreeString(closing);
    });
    return result;
  }

  LinkRecorder recorder_;
  IAgent* agent_ = nullptr;
};

struct AgentLinkCase {
  const char* name;
  std::wstring link;
  HRESULT expected;
  const char* handlerReceives;  // null: nothing reaches the handler
  bool nullLink;                // Run gets a null BSTR instead of `link`
};

const AgentLinkCase kAgentLinkCases[] = {
    {"accepted", L"ed2k://|file|apartment.iso|1|00|/", S_OK, "ed2k://|file|apartment.iso|1|00|/",
     false},
    {"refused", L"http://example.invalid/", E_INVALIDARG, nullptr, false},
    {"refused quote", L"ed2k:a\" --evil", E_INVALIDARG, nullptr, false},
    {"stops at embedded NUL", std::wstring(L"ed2k:a\0 --evil", 14), S_OK, "ed2k:a", false},
    {"null", L"", E_POINTER, nullptr, true},
};

class AgentApartmentsLinkTest : public AgentApartmentsTest,
                                public ::testing::WithParamInterface<AgentLinkCase> {};

TEST_P(AgentApartmentsLinkTest, RunReachesTheHandlerOrIsRefused) {
  const AgentLinkCase& c = GetParam();
  EXPECT_EQ(c.expected, RunFromOtherApartment(c.nullLink ? nullptr : &c.link));
  std::vector<std::string> expected;
  if (c.handlerReceives) expected.push_back(c.handlerReceives);
  expected.push_back("ed2k:closing");
  std::vector<std::string> received;
  for (const RecordedLaunch& launch : recorder_.WaitForLaunches(expected.size())) {
    received.push_back(launch.link);
  }
  std::sort(expected.begin(), expected.end());
  std::sort(received.begin(), received.end());
  EXPECT_EQ(expected, received);
}

INSTANTIATE_TEST_SUITE_P(Links, AgentApartmentsLinkTest, ::testing::ValuesIn(kAgentLinkCases),
                         CaseName());

}  // namespace
