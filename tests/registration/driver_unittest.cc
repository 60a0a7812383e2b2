// DllRegisterServer and DllUnregisterServer run in this process against a
// private HKEY_CLASSES_ROOT: the order of their steps and where a failing
// step stops them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "proxy/proxy_stub.h"
#include "support/identities.h"
#include "support/platform_override.h"
#include "support/registry_override.h"

STDAPI DllRegisterServer();
STDAPI DllUnregisterServer();
STDAPI DllInstall(BOOL install, LPCWSTR commandLine);

namespace {


bool KeyExists(const char* path) {
  return DumpRegistryTree(HKEY_CLASSES_ROOT, path) != "(absent)";
}

// The key name whose creation the seam refuses, and with which code.
const char* g_refusedKey = nullptr;

LSTATUS WINAPI RefusingCreate(HKEY parent, LPCSTR name, DWORD reserved, LPSTR keyClass,
                              DWORD options, REGSAM access, const LPSECURITY_ATTRIBUTES security,
                              PHKEY result, LPDWORD disposition) {
  if (g_refusedKey && name && lstrcmpiA(name, g_refusedKey) == 0) return ERROR_ACCESS_DENIED;
  return DefaultPlatformCalls().RegCreateKeyExA(parent, name, reserved, keyClass, options, access,
                                                security, result, disposition);
}

class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_refusedKey = nullptr;
    // This program stands in for the DLL: the loader's attach names it.
    ProxyStubAttach(::GetModuleHandleA(nullptr), DLL_PROCESS_ATTACH, nullptr);
  }
  void RefuseCreating(const char* name) {
    g_refusedKey = name;
    platform_->RegCreateKeyExA = RefusingCreate;
  }

  ScopedRegistryOverride classes_{HKEY_CLASSES_ROOT};
  ScopedPlatformCalls platform_;
};

TEST_F(DriverTest, RegistersAndRemovesEveryStep) {
  ASSERT_EQ(S_OK, DllRegisterServer());
  for (const char* key : {kAppIdKey, "AppID\\Brisvel.DLL", BRISVEL_VERSION_INDEPENDENT_PROGID,
                          BRISVEL_PROGID, kClassKey, kTypeLibKey, kInterfaceKey}) {
    EXPECT_TRUE(KeyExists(key)) << key;
  }
  ASSERT_EQ(S_OK, DllUnregisterServer());
  for (const char* key : {kAppIdKey, "AppID\\Brisvel.DLL", BRISVEL_VERSION_INDEPENDENT_PROGID,
                          BRISVEL_PROGID, kClassKey, kTypeLibKey, kInterfaceKey}) {
    EXPECT_FALSE(KeyExists(key)) << key;
  }
}

TEST_F(DriverTest, UnregisteringWhatWasNeverRegisteredSucceeds) {
  EXPECT_EQ(S_OK, DllUnregisterServer());
  EXPECT_FALSE(KeyExists(kInterfaceKey));
}

TEST_F(DriverTest, FailingAppIdScriptStopsBeforeTheClasses) {
  RefuseCreating("Brisvel.DLL");
  EXPECT_EQ(E_ACCESSDENIED, DllRegisterServer());
  // The failed root block was rolled back; nothing after it ran.
  EXPECT_FALSE(KeyExists(kAppIdKey));
  EXPECT_FALSE(KeyExists(BRISVEL_VERSION_INDEPENDENT_PROGID));
  EXPECT_FALSE(KeyExists(kTypeLibKey));
  EXPECT_FALSE(KeyExists(kInterfaceKey));
}

TEST_F(DriverTest, FailingClassScriptStopsBeforeTheTypeLibraryAndProxy) {
  RefuseCreating("InprocServer32");
  EXPECT_EQ(E_ACCESSDENIED, DllRegisterServer());
  EXPECT_TRUE(KeyExists(kAppIdKey));
  EXPECT_FALSE(KeyExists(BRISVEL_PROGID));
  EXPECT_FALSE(KeyExists(kClassKey));
  EXPECT_FALSE(KeyExists(kTypeLibKey));
  EXPECT_FALSE(KeyExists(kInterfaceKey));
}

TEST_F(DriverTest, ForeignSubkeyOfTheClassFailsRemovalWithThePlatformsRefusal) {
  ASSERT_EQ(S_OK, DllRegisterServer());
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_CLASSES_ROOT, (std::string(kClassKey) + "\\Foreign").c_str(),
                                             0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
  ::RegCloseKey(key);
  // What the platform answers for deleting a key that has a subkey.
  const LONG refusal = ::RegDeleteKeyA(HKEY_CLASSES_ROOT, kClassKey);
  ASSERT_NE(ERROR_SUCCESS, refusal);

  EXPECT_EQ(HRESULT_FROM_WIN32(refusal), DllUnregisterServer());
  EXPECT_FALSE(KeyExists("CLSID\\" BRISVEL_CLSID_TEXT "\\InprocServer32"));
  EXPECT_FALSE(KeyExists(BRISVEL_VERSION_INDEPENDENT_PROGID));
  EXPECT_TRUE(KeyExists(kTypeLibKey));
  EXPECT_TRUE(KeyExists(kAppIdKey));
}

TEST_F(DriverTest, InstallWithoutUserDoesWhatTheRegistrationExportsDo) {
  for (const wchar_t* commandLine : {static_cast<const wchar_t*>(nullptr), L"", L"machine"}) {
    ASSERT_EQ(S_OK, DllRegisterServer());
    const std::string registered = DumpRegistryTree(HKEY_CLASSES_ROOT, "");
    ASSERT_EQ(S_OK, DllUnregisterServer());
    const std::string removed = DumpRegistryTree(HKEY_CLASSES_ROOT, "");

    ASSERT_EQ(S_OK, DllInstall(TRUE, commandLine));
    EXPECT_EQ(registered, DumpRegistryTree(HKEY_CLASSES_ROOT, ""));
    ASSERT_EQ(S_OK, DllInstall(FALSE, commandLine));
    EXPECT_EQ(removed, DumpRegistryTree(HKEY_CLASSES_ROOT, ""));
  }
}

// Per-user installation with this process's HKEY_CURRENT_USER private too.
class UserInstallTest : public DriverTest {
 protected:
  std::string UserClasses(const char* path) {
    return DumpRegistryTree(HKEY_CURRENT_USER, std::string("Software\\Classes\\") + path);
  }
  ScopedRegistryOverride user_{HKEY_CURRENT_USER};
};

TEST_F(UserInstallTest, UserInAnyCaseWritesOnlyTheUsersClasses) {
  for (const wchar_t* commandLine : {L"user", L"USER", L"uSeR"}) {
    ASSERT_EQ(S_OK, DllInstall(TRUE, commandLine));
    for (const char* key : {kAppIdKey, BRISVEL_VERSION_INDEPENDENT_PROGID, kClassKey, kTypeLibKey,
                            kInterfaceKey}) {
      EXPECT_NE("(absent)", UserClasses(key)) << key;
      EXPECT_FALSE(KeyExists(key)) << key;  // the machine's classes, here private
    }
    ASSERT_EQ(S_OK, DllInstall(FALSE, commandLine));
    for (const char* key : {kAppIdKey, BRISVEL_VERSION_INDEPENDENT_PROGID, kClassKey, kTypeLibKey,
                            kInterfaceKey}) {
      EXPECT_EQ("(absent)", UserClasses(key)) << key;
    }
  }
}

TEST_F(UserInstallTest, RedirectionEndsAlsoWhenAStepFails) {
  RefuseCreating("InprocServer32");
  EXPECT_EQ(E_ACCESSDENIED, DllInstall(TRUE, L"user"));
  // Were the user's classes still standing in for HKEY_CLASSES_ROOT, this
  // key would land there. The redirection of the test's own ends with the
  // installation's, so the key lands in the prefix's classes: it is removed.
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_CLASSES_ROOT, "Brisvel.Probe", 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
  ::RegCloseKey(key);
  EXPECT_EQ("(absent)", UserClasses("Brisvel.Probe"));
  EXPECT_TRUE(KeyExists("Brisvel.Probe"));
  ::RegDeleteKeyA(HKEY_CLASSES_ROOT, "Brisvel.Probe");
}

}  // namespace
