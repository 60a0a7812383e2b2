// The library's Agent called through the library's proxy/stub: from a second
// apartment of this process, and from this process into the platform's
// surrogate (dllhost) once the AppID names one. Accepted links reach the
// handler; every result comes back to the caller as Run gave it, and the
// IDispatch methods answer as they do on an Agent called directly.
#include <windows.h>
#include <gtest/gtest.h>
#include <shlwapi.h>
#include <tlhelp32.h>

#include <string.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "idl/brisvel.h"
#include "proxy/other_apartment.h"
#include "proxy/proxy_registration.h"
#include "support/brisvel_library.h"
#include "support/case_name.h"
#include "support/identities.h"
#include "support/invoke.h"
#include "support/link_recorder.h"
#include "support/test_paths.h"

namespace {

struct AgentLinkCase {
  const char* name;
  std::wstring link;
  HRESULT expected;
  const char* handlerReceives;  // null: nothing reaches the handler
  bool nullLink;                // Run gets a null BSTR instead of `link`
};

const AgentLinkCase kAgentLinkCases[] = {
    {"accepted", L"ed2k://|file|marshaled.iso|1|00|/", S_OK, "ed2k://|file|marshaled.iso|1|00|/",
     false},
    {"refused", L"http://example.invalid/", E_INVALIDARG, nullptr, false},
    {"refused quote", L"ed2k:a\" --evil", E_INVALIDARG, nullptr, false},
    {"stops at embedded NUL", std::wstring(L"ed2k:a\0 --evil", 14), S_OK, "ed2k:a", false},
    {"null", L"", E_POINTER, nullptr, true},
};

const char kClosingLink[] = "ed2k:closing";

// Runs the case's link, then an accepted closing link: once the closing
// launch has arrived, a launch of the first, started before it, is most
// likely there too. Launched handlers may write in either order.
HRESULT RunCase(IAgent* agent, const AgentLinkCase& c) {
  BSTR link = c.nullLink ? nullptr
                         : ::SysAllocStringLen(c.link.data(), static_cast<UINT>(c.link.size()));
  const HRESULT result = agent->Run(link);
  ::SysFreeString(link);
  const std::wstring closingLink(kClosingLink, kClosingLink + strlen(kClosingLink));
  BSTR closing = ::SysAllocString(closingLink.c_str());
  EXPECT_EQ(S_OK, agent->Run(closing));
  ::SysFreeString(closing);
  return result;
}

void ExpectLaunches(const LinkRecorder& recorder, const AgentLinkCase& c) {
  std::vector<std::string> expected = {kClosingLink};
  if (c.handlerReceives) expected.push_back(c.handlerReceives);
  std::sort(expected.begin(), expected.end());
  std::vector<std::string> received;
  for (const RecordedLaunch& launch : recorder.WaitForLaunches(expected.size())) {
    received.push_back(launch.link);
  }
  std::sort(received.begin(), received.end());
  EXPECT_EQ(expected, received);
}

// The component and the handler are registered in the prefix's own registry,
// which the component runtime and the surrogate read.
class AgentCallsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(S_OK, ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)); }
  void TearDown() override {
    if (agent_) agent_->Release();
    agent_ = nullptr;
    ::CoUninitialize();
  }

  // An Agent of the library loaded here, made in this apartment.
  IAgent* CreateLocalAgent() {
    IClassFactory* factory = library_.AgentFactory();
    if (!factory) return nullptr;
    IAgent* agent = nullptr;
    EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IAgent, reinterpret_cast<void**>(&agent)));
    factory->Release();
    return agent;
  }

  BrisvelLibrary library_;
  ScopedComponentRegistration registration_{library_};
  LinkRecorder recorder_;
  IAgent* agent_ = nullptr;
};

// Run's member id.
const DISPID kRun = 1;

// The IDispatch methods of `remote` answer as those of `local`, an Agent
// called directly, and a late-bound Run with an accepted link reaches the
// handler.
void ExpectDispatchAsDirect(IAgent* remote, IAgent* local, const LinkRecorder& recorder) {
  UINT count = 0;
  EXPECT_EQ(S_OK, remote->GetTypeInfoCount(&count));
  EXPECT_EQ(1u, count);

  ITypeInfo* info = nullptr;
  ASSERT_EQ(S_OK, remote->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info));
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(S_OK, info->GetTypeAttr(&attributes));
  EXPECT_TRUE(IsEqualIID(IID_IAgent, attributes->guid));
  info->ReleaseTypeAttr(attributes);
  info->Release();

  LPOLESTR names[] = {const_cast<LPOLESTR>(L"run"), const_cast<LPOLESTR>(L"URL")};
  DISPID remoteIds[2] = {};
  DISPID localIds[2] = {};
  EXPECT_EQ(S_OK, remote->GetIDsOfNames(IID_NULL, names, 2, LOCALE_USER_DEFAULT, remoteIds));
  EXPECT_EQ(S_OK, local->GetIDsOfNames(IID_NULL, names, 2, LOCALE_USER_DEFAULT, localIds));
  EXPECT_EQ(kRun, remoteIds[0]);
  EXPECT_EQ(localIds[1], remoteIds[1]);
  LPOLESTR unknown[] = {const_cast<LPOLESTR>(L"Walk")};
  EXPECT_EQ(local->GetIDsOfNames(IID_NULL, unknown, 1, LOCALE_USER_DEFAULT, localIds),
            remote->GetIDsOfNames(IID_NULL, unknown, 1, LOCALE_USER_DEFAULT, remoteIds));

  const wchar_t kRefused[] = L"http://example.invalid/";
  EXPECT_EQ(InvokeWithLink(local, kRun, kRefused), InvokeWithLink(remote, kRun, kRefused));
  const InvokeOutcome succeeded;  // S_OK, and no exception
  EXPECT_EQ(succeeded, InvokeWithLink(remote, kRun, L"ed2k://|file|late.iso|1|00|/"));
  const std::vector<RecordedLaunch> launches = recorder.WaitForLaunches(1);
  ASSERT_EQ(1u, launches.size());
  EXPECT_EQ("ed2k://|file|late.iso|1|00|/", launches[0].link);
}

// An Agent made in this apartment, called from another.
class OtherApartmentTest : public AgentCallsTest,
                           public ::testing::WithParamInterface<AgentLinkCase> {
 protected:
  void SetUp() override {
    AgentCallsTest::SetUp();
    agent_ = CreateLocalAgent();
    ASSERT_NE(nullptr, agent_);
  }
};

TEST_P(OtherApartmentTest, RunReachesTheHandlerOrAnswersUnchanged) {
  HRESULT result = E_UNEXPECTED;
  CallFromOtherApartment(agent_, [&](IAgent* proxy) { result = RunCase(proxy, GetParam()); });
  EXPECT_EQ(GetParam().expected, result);
  ExpectLaunches(recorder_, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Links, OtherApartmentTest, ::testing::ValuesIn(kAgentLinkCases),
                         CaseName());

TEST_F(AgentCallsTest, DispatchFromOtherApartmentAnswersAsDirect) {
  agent_ = CreateLocalAgent();
  ASSERT_NE(nullptr, agent_);
  CallFromOtherApartment(agent_,
                         [&](IAgent* proxy) { ExpectDispatchAsDirect(proxy, agent_, recorder_); });
}

std::set<DWORD> SurrogateProcessIds() {
  std::set<DWORD> ids;
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return ids;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32First(snapshot, &entry); more;
       more = ::Process32Next(snapshot, &entry)) {
    if (::lstrcmpiA(entry.szExeFile, "dllhost.exe") == 0) ids.insert(entry.th32ProcessID);
  }
  ::CloseHandle(snapshot);
  return ids;
}

// The surrogates that appear during its life, ended with it, so that none
// outlives the test holding the prefix or the test's output. The platform's
// surrogate stays after its last object is gone (still there after 90 s), so
// waiting for it to leave would only add time: it is terminated.
class ScopedSurrogates {
 public:
  ScopedSurrogates() : before_(SurrogateProcessIds()) {}
  ~ScopedSurrogates() {
    for (DWORD id : Started()) {
      HANDLE process = ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, id);
      if (!process) continue;
      ::TerminateProcess(process, 1);
      ::WaitForSingleObject(process, 10000);
      ::CloseHandle(process);
    }
  }
  ScopedSurrogates(const ScopedSurrogates&) = delete;
  ScopedSurrogates& operator=(const ScopedSurrogates&) = delete;

  std::vector<DWORD> Started() const {
    std::vector<DWORD> started;
    for (DWORD id : SurrogateProcessIds()) {
      if (!before_.count(id)) started.push_back(id);
    }
    return started;
  }

 private:
  std::set<DWORD> before_;
};

// An Agent made in the surrogate, called from this process.
class SurrogateTest : public AgentCallsTest {
 protected:
  void SetUp() override {
    AgentCallsTest::SetUp();
    // The AppID given the platform's surrogate, as a user would.
    ASSERT_TRUE(WriteClassesStrings({{kAppIdKey, "DllSurrogate", ""}}));
    ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_Agent, nullptr, CLSCTX_LOCAL_SERVER, IID_IAgent,
                                       reinterpret_cast<void**>(&agent_)));
  }
  void TearDown() override {
    AgentCallsTest::TearDown();
    ::SHDeleteValueA(HKEY_CLASSES_ROOT, kAppIdKey, "DllSurrogate");
  }

  ScopedSurrogates surrogates_;
};

class SurrogateLinkTest : public SurrogateTest,
                          public ::testing::WithParamInterface<AgentLinkCase> {};

TEST_P(SurrogateLinkTest, RunReachesTheHandlerOrAnswersUnchanged) {
  EXPECT_EQ(GetParam().expected, RunCase(agent_, GetParam()));
  ExpectLaunches(recorder_, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Links, SurrogateLinkTest, ::testing::ValuesIn(kAgentLinkCases),
                         CaseName());

TEST_F(SurrogateTest, DispatchAnswersAsDirect) {
  IAgent* local = CreateLocalAgent();
  ASSERT_NE(nullptr, local);
  ExpectDispatchAsDirect(agent_, local, recorder_);
  local->Release();
}

TEST_F(SurrogateTest, AgentLivesInTheSurrogateAndOnlyTheProxyHere) {
  EXPECT_EQ(1u, surrogates_.Started().size());
  // No Agent is alive in this process: the proxy alone holds the library.
  EXPECT_EQ(S_FALSE, library_.CanUnloadNow());
  agent_->Release();
  agent_ = nullptr;
  EXPECT_EQ(S_OK, library_.CanUnloadNow());
}

}  // namespace
