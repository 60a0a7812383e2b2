// The library's Agent called through the library's proxy/stub: from a second
// apartment of this process, and from this process into the platform's
// surrogate (dllhost) once the AppID names one. Accepted links reach the
// handler; every result comes back to the caller as Run gave it.
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

// The handler is registered in the prefix's own registry: the surrogate is
// another process and sees only that.
class AgentCallsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(S_OK, ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)); }
  void TearDown() override {
    if (agent_) agent_->Release();
    agent_ = nullptr;
    ::CoUninitialize();
  }

  BrisvelLibrary library_;
  ScopedProxyStubRegistration registration_;
  LinkRecorder recorder_;
  IAgent* agent_ = nullptr;
};

// An Agent made in this apartment, called from another.
class OtherApartmentTest : public AgentCallsTest,
                           public ::testing::WithParamInterface<AgentLinkCase> {
 protected:
  void SetUp() override {
    AgentCallsTest::SetUp();
    IClassFactory* factory = library_.AgentFactory();
    ASSERT_NE(nullptr, factory);
    EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IAgent, reinterpret_cast<void**>(&agent_)));
    factory->Release();
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

const char kAgentClass[] = "{C4E0ED1D-8356-4A8E-9186-8ECC811B8F7A}";
const char kAppId[] = "{3A8007B1-8884-4458-92F2-266AB1038D34}";

// The class's entries as its registration writes them, and the AppID given
// the platform's surrogate, as a user would.
std::vector<RegistryString> SurrogateClassEntries() {
  const std::string classKey = std::string("CLSID\\") + kAgentClass;
  const std::string appIdKey = std::string("AppID\\") + kAppId;
  return {
      {classKey, "", "Vintaro Agent"},
      {classKey, "AppID", kAppId},
      {classKey + "\\InprocServer32", "", BrisvelDllPath()},
      {classKey + "\\InprocServer32", "ThreadingModel", "Apartment"},
      {appIdKey, "", "Brisvel"},
      {appIdKey, "DllSurrogate", ""},
  };
}

// An Agent made in the surrogate, called from this process.
class SurrogateTest : public AgentCallsTest {
 protected:
  void SetUp() override {
    AgentCallsTest::SetUp();
    ASSERT_TRUE(WriteClassesStrings(SurrogateClassEntries()));
    ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_Agent, nullptr, CLSCTX_LOCAL_SERVER, IID_IAgent,
                                       reinterpret_cast<void**>(&agent_)));
  }
  void TearDown() override {
    AgentCallsTest::TearDown();
    ::SHDeleteKeyA(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + kAgentClass).c_str());
    ::SHDeleteKeyA(HKEY_CLASSES_ROOT, (std::string("AppID\\") + kAppId).c_str());
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

TEST_F(SurrogateTest, AgentLivesInTheSurrogateAndOnlyTheProxyHere) {
  EXPECT_EQ(1u, surrogates_.Started().size());
  // No Agent is alive in this process: the proxy alone holds the library.
  EXPECT_EQ(S_FALSE, library_.CanUnloadNow());
  agent_->Release();
  agent_ = nullptr;
  EXPECT_EQ(S_OK, library_.CanUnloadNow());
}

}  // namespace
