// Registration-free use: in a prefix where Brisvel.DLL was never registered,
// a client whose manifest depends on the Brisvel assembly creates the Agent
// and calls Run early- and late-bound.
#include <windows.h>

#include <gtest/gtest.h>

#include "idl/brisvel.h"
#include "support/identities.h"
#include "support/link_recorder.h"
#include "support/registry_override.h"

namespace {

class RegistrationFreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  }
  void TearDown() override { ::CoUninitialize(); }

  ScopedRegistryOverride classes_{HKEY_CLASSES_ROOT};
};

TEST_F(RegistrationFreeTest, NothingIsRegistered) {
  // The private HKCR of this process is empty; COM's own lookups read the
  // prefix's registry, which must not know the class either.
  EXPECT_EQ("(absent)", DumpRegistryTree(HKEY_LOCAL_MACHINE,
                                         "Software\\Classes\\CLSID\\" BRISVEL_CLSID_TEXT));
  EXPECT_EQ("(absent)", DumpRegistryTree(HKEY_LOCAL_MACHINE,
                                         "Software\\Classes\\TypeLib\\" BRISVEL_LIBID_TEXT));
}

// Creates the class `clsid` and has its Run open `link` through the handler.
void ExpectCreatedAgentOpens(REFCLSID clsid, const wchar_t* link, const char* received) {
  LinkRecorder recorder;
  IAgent* agent = nullptr;
  ASSERT_EQ(S_OK, ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IAgent,
                                     reinterpret_cast<void**>(&agent)));
  BSTR text = ::SysAllocString(link);
  EXPECT_EQ(S_OK, agent->Run(text));
  ::SysFreeString(text);
  agent->Release();
  const std::vector<RecordedLaunch> launches = recorder.WaitForLaunches(1);
  ASSERT_EQ(1u, launches.size());
  EXPECT_EQ(received, launches[0].link);
}

TEST_F(RegistrationFreeTest, CreatesTheAgentByClassAndRunsALink) {
  ExpectCreatedAgentOpens(CLSID_Agent, L"ed2k://|file|regfree.iso|1|0|/",
                          "ed2k://|file|regfree.iso|1|0|/");
}

TEST_F(RegistrationFreeTest, InvokeFindsTheTypeLibraryThroughTheManifest) {
  LinkRecorder recorder;
  IDispatch* agent = nullptr;
  ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_Agent, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                     reinterpret_cast<void**>(&agent)));
  OLECHAR name[] = L"Run";
  LPOLESTR names[] = {name};
  DISPID dispid = 0;
  ASSERT_EQ(S_OK, agent->GetIDsOfNames(IID_NULL, names, 1, 0, &dispid));
  EXPECT_EQ(1, dispid);

  VARIANT argument;
  ::VariantInit(&argument);
  argument.vt = VT_BSTR;
  argument.bstrVal = ::SysAllocString(L"ed2k://|file|late-bound.iso|1|0|/");
  DISPPARAMS parameters = {&argument, nullptr, 1, 0};
  EXPECT_EQ(S_OK, agent->Invoke(dispid, IID_NULL, 0, DISPATCH_METHOD, &parameters, nullptr,
                                nullptr, nullptr));
  ::VariantClear(&argument);
  agent->Release();
  const std::vector<RecordedLaunch> launches = recorder.WaitForLaunches(1);
  ASSERT_EQ(1u, launches.size());
  EXPECT_EQ("ed2k://|file|late-bound.iso|1|0|/", launches[0].link);
}

struct ProgIdCase {
  const char* name;
  const wchar_t* progId;
};

class ProgIdTest : public RegistrationFreeTest, public ::testing::WithParamInterface<ProgIdCase> {};

// The platform resolves a manifest's programmatic identifiers to a class
// identifier of the activation context's own, which it then redirects to
// the Agent: what counts is that the Agent is what gets created.
TEST_P(ProgIdTest, ProgIdFromTheManifestCreatesTheAgent) {
  CLSID clsid = {};
  const HRESULT result = ::CLSIDFromProgID(GetParam().progId, &clsid);
  wchar_t text[64] = {};
  ::StringFromGUID2(clsid, text, 64);
  printf("CLSIDFromProgID(%ls) = 0x%08lx, %ls\n", GetParam().progId,
         static_cast<unsigned long>(result), text);
  ASSERT_EQ(S_OK, result);
  ExpectCreatedAgentOpens(clsid, L"ed2k://|file|by-progid.iso|1|0|/",
                          "ed2k://|file|by-progid.iso|1|0|/");
}

INSTANTIATE_TEST_SUITE_P(Names, ProgIdTest,
                         ::testing::Values(ProgIdCase{"VersionIndependent",
                                                      L"" BRISVEL_VERSION_INDEPENDENT_PROGID},
                                           ProgIdCase{"Versioned", L"" BRISVEL_PROGID}),
                         [](const ::testing::TestParamInfo<ProgIdCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
