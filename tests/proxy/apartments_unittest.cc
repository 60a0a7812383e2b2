// IAgent between two single-threaded apartments of one process, through the
// library's proxy/stub as the component runtime finds it once the library has
// registered itself:
// what the caller sends is what the object receives, on the object's own
// thread, and the object's answer comes back unchanged.
#include <gtest/gtest.h>

#include <string>

#include "idl/brisvel.h"
#include "proxy/other_apartment.h"
#include "proxy/proxy_registration.h"
#include "support/brisvel_library.h"
#include "support/case_name.h"
#include "support/recording_agent.h"

namespace {

class ApartmentsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(S_OK, ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)); }
  void TearDown() override { ::CoUninitialize(); }

  BrisvelLibrary library_;
  ScopedComponentRegistration registration_{library_};
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

}  // namespace
