// The proxy/stub entry points inside the library: the interface lookup the
// engine calls, the generated tables routed to the library's routines, and
// the registration the engine writes from the recorded instance handle.
#define CINTERFACE  // the engine's records hold the C form of interface tables
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "idl/brisvel.h"
#include "proxy/proxy_registration.h"
#include "proxy/proxy_stub.h"
#include "proxy/proxy_tables.h"
#include "support/case_name.h"
#include "support/registry_override.h"

namespace {

IID WithLastByte(IID iid, unsigned char last) {
  iid.Data4[7] = last;
  return iid;
}

struct LookupCase {
  const char* name;
  IID iid;
  int found;
};

const LookupCase kLookupCases[] = {
    {"IAgent", IID_IAgent, 1},
    {"IDispatch", IID_IDispatch, 0},
    {"IUnknown", IID_IUnknown, 0},
    {"IAgent with the last byte one lower", WithLastByte(IID_IAgent, 0xDB), 0},
    {"IAgent with the last byte one higher", WithLastByte(IID_IAgent, 0xDD), 0},
};

class LookupInterfaceTest : public ::testing::TestWithParam<LookupCase> {};

TEST_P(LookupInterfaceTest, FindsIAgentAtIndexZeroOnly) {
  const int kUntouched = 77;
  int index = kUntouched;
  EXPECT_EQ(GetParam().found, ProxyStubLookupInterface(&GetParam().iid, &index));
  EXPECT_EQ(GetParam().found ? 0 : kUntouched, index);
}

INSTANTIATE_TEST_SUITE_P(Interfaces, LookupInterfaceTest, ::testing::ValuesIn(kLookupCases),
                         CaseName());

TEST(LookupInterface, NullArgumentsFindNothing) {
  int index = 5;
  EXPECT_EQ(0, ProxyStubLookupInterface(nullptr, &index));
  EXPECT_EQ(5, index);
  EXPECT_EQ(0, ProxyStubLookupInterface(&IID_IAgent, nullptr));
}

// The build step that adapts widl's file must leave the tables naming the
// library's two routines, and describe IAgent on IDispatch.
TEST(ProxyTables, CallTheLibrarysLookupAndStubRelease) {
  const ExtendedProxyFileInfo& record = brisvel_ProxyFileInfo;
  EXPECT_EQ(&ProxyStubLookupInterface, record.pIIDLookupRtn);
  ASSERT_NE(nullptr, record.pStubVtblList[0]);
  const CInterfaceStubVtbl& stub = *record.pStubVtblList[0];
  EXPECT_TRUE(IsEqualIID(IID_IAgent, *stub.header.piid));
  EXPECT_EQ(8u, stub.header.DispatchTableCount);
  EXPECT_EQ(&ProxyStubRelease, stub.Vtbl.Release);
  EXPECT_EQ(nullptr, record.pStubVtblList[1]);
  EXPECT_EQ(1, record.TableSize);
  EXPECT_EQ(2, record.TableVersion);
  EXPECT_STREQ("IAgent", record.pNamesArray[0]);
  EXPECT_TRUE(IsEqualIID(IID_IDispatch, *record.pDelegatedIIDs[0]));
}

// The registration path reveals which instance handle the entry points hold.
std::string ModulePath(HMODULE module) {
  char path[MAX_PATH];
  const DWORD length = ::GetModuleFileNameA(module, path, MAX_PATH);
  return std::string(path, length);
}

// The registry tree `values` make, as DumpRegistryTree writes it.
std::string ExpectedTree(const std::vector<RegistryString>& values) {
  std::set<std::string> lines = {""};
  for (const RegistryString& value : values) {
    for (size_t slash = value.key.find('\\'); slash != std::string::npos;
         slash = value.key.find('\\', slash + 1)) {
      lines.insert(value.key.substr(0, slash));
    }
    lines.insert(value.key);
    lines.insert(value.key + "|" + value.name + "|1|" + value.value);
  }
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

class ProxyStubRegistrationTest : public ::testing::Test {
 protected:
  ScopedRegistryOverride classes_{HKEY_CLASSES_ROOT};
};

TEST_F(ProxyStubRegistrationTest, RegistersTheFileOfTheAttachedInstance) {
  const HMODULE attached = ::GetModuleHandleA("kernel32.dll");
  ASSERT_TRUE(ProxyStubAttach(attached, DLL_PROCESS_ATTACH, nullptr));
  // Only process attach records a handle.
  for (DWORD reason : {DLL_THREAD_ATTACH, DLL_THREAD_DETACH, DLL_PROCESS_DETACH}) {
    EXPECT_TRUE(ProxyStubAttach(::GetModuleHandleA(nullptr), reason, nullptr));
  }
  ASSERT_EQ(S_OK, ProxyStubRegister());
  EXPECT_EQ(ExpectedTree(ProxyStubRegistration(ModulePath(attached))),
            DumpRegistryTree(HKEY_CLASSES_ROOT, ""));
}

TEST_F(ProxyStubRegistrationTest, UnregisterRemovesWhatRegisterWrote) {
  ASSERT_TRUE(ProxyStubAttach(::GetModuleHandleA(nullptr), DLL_PROCESS_ATTACH, nullptr));
  ASSERT_EQ(S_OK, ProxyStubRegister());
  ASSERT_EQ(S_OK, ProxyStubUnregister());
  EXPECT_EQ("\nCLSID\nInterface\n", DumpRegistryTree(HKEY_CLASSES_ROOT, ""));
}

}  // namespace
