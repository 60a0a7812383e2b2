// regsvr32 on the built Brisvel.DLL, in the prefix's own registry: what it
// leaves, what a second run leaves, and what removal takes away.
#include <windows.h>

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "support/architecture.h"
#include "support/identities.h"
#include "support/process.h"
#include "support/registry_override.h"
#include "support/registry_view.h"
#include "support/test_paths.h"

namespace {

const char kAppIdFileKey[] = "AppID\\Brisvel.DLL";
const char kAppId[] = BRISVEL_APPID_TEXT;

// One value the class and AppID scripts leave below HKEY_CLASSES_ROOT.
struct ScriptValue {
  const char* top;    // the key below the root that the row belongs to
  const char* key;    // below `top`; "" for `top` itself
  const char* name;   // "" for the default value
  const char* data;   // "P" stands for the module's path
};

const ScriptValue kScriptValues[] = {
    {kAppIdKey, "", "", "Brisvel"},
    {kAppIdFileKey, "", "AppID", kAppId},
    {BRISVEL_PROGID, "", "", "Vintaro Agent"},
    {BRISVEL_PROGID, "CLSID", "", BRISVEL_CLSID_TEXT},
    {BRISVEL_VERSION_INDEPENDENT_PROGID, "", "", "Vintaro Agent"},
    {BRISVEL_VERSION_INDEPENDENT_PROGID, "CLSID", "", BRISVEL_CLSID_TEXT},
    {BRISVEL_VERSION_INDEPENDENT_PROGID, "CurVer", "", BRISVEL_PROGID},
    {kClassKey, "", "", "Vintaro Agent"},
    {kClassKey, "", "AppID", kAppId},
    {kClassKey, "ProgID", "", BRISVEL_PROGID},
    {kClassKey, "VersionIndependentProgID", "", BRISVEL_VERSION_INDEPENDENT_PROGID},
    {kClassKey, "Programmable", nullptr, nullptr},  // a key without values
    {kClassKey, "InprocServer32", "", "P"},
    {kClassKey, "InprocServer32", "ThreadingModel", "Apartment"},
    {kClassKey, "TypeLib", "", BRISVEL_LIBID_TEXT},
};

const char* const kScriptTops[] = {kAppIdKey, kAppIdFileKey, BRISVEL_PROGID,
                                   BRISVEL_VERSION_INDEPENDENT_PROGID, kClassKey};

// The dump DumpRegistryTree gives of `top` when it holds exactly the rows.
std::string ExpectedDump(const std::string& top, const std::string& modulePath) {
  std::set<std::string> lines = {""};
  for (const ScriptValue& row : kScriptValues) {
    if (top != row.top) continue;
    const std::string key = row.key;
    lines.insert(key);
    if (!row.name) continue;
    const std::string data = std::string(row.data) == "P" ? modulePath : row.data;
    lines.insert(key + "|" + row.name + "|1|" + data);
  }
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

bool KeyExists(const std::string& path) { return DumpRegistryTree(HKEY_CLASSES_ROOT, path) != "(absent)"; }

std::string WholeRegistration() {
  std::string text;
  for (const char* top : kScriptTops) text += std::string(top) + ":\n" + DumpRegistryTree(HKEY_CLASSES_ROOT, top);
  for (const char* top : {kTypeLibKey, kInterfaceKey, kProxyClassKey})
    text += std::string(top) + ":\n" + DumpRegistryTree(HKEY_CLASSES_ROOT, top);
  return text;
}

DWORD Regsvr32(const std::string& options, const std::string& path) {
  return RunProcess("regsvr32.exe " + options + " \"" + path + "\"").exitCode;
}

class Regsvr32Test : public ::testing::Test {
 protected:
  void SetUp() override { RemoveEverything(); }
  void TearDown() override { RemoveEverything(); }

  // Leaves the prefix as a machine that never saw the component.
  static void RemoveEverything() {
    for (const char* top : kScriptTops) ::SHDeleteKeyA(HKEY_CLASSES_ROOT, top);
    for (const char* top : {kTypeLibKey, kInterfaceKey, kProxyClassKey})
      ::SHDeleteKeyA(HKEY_CLASSES_ROOT, top);
  }

  void ExpectRegistered(const std::string& path) {
    for (const char* top : kScriptTops) {
      EXPECT_EQ(ExpectedDump(top, path), DumpRegistryTree(HKEY_CLASSES_ROOT, top)) << top;
    }
    const std::string version = std::string(kTypeLibKey) + "\\1.0";
    EXPECT_EQ(path, ReadClassesString(version + "\\0\\" + kThisArchitecture.syskindKey, nullptr));
    const std::string directory = path.substr(0, path.find_last_of('\\') + 1);
    EXPECT_EQ(directory, ReadClassesString(version + "\\HELPDIR", nullptr));
    EXPECT_EQ(BRISVEL_IID_TEXT,
              ReadClassesString(std::string(kInterfaceKey) + "\\ProxyStubClsid32", nullptr));
    EXPECT_EQ(path, ReadClassesString(std::string(kProxyClassKey) + "\\InprocServer32", nullptr));
  }

  void ExpectRemoved() {
    for (const char* top : kScriptTops) EXPECT_FALSE(KeyExists(top)) << top;
    for (const char* top : {kTypeLibKey, kInterfaceKey, kProxyClassKey})
      EXPECT_FALSE(KeyExists(top)) << top;
    // Keys the scripts never remove.
    EXPECT_TRUE(KeyExists("AppID"));
    EXPECT_TRUE(KeyExists("CLSID"));
  }
};

TEST_F(Regsvr32Test, RegistersExactlyTheComponentsEntries) {
  ASSERT_EQ(0u, Regsvr32("/s", BrisvelDllPath()));
  ExpectRegistered(BrisvelDllPath());
}

TEST_F(Regsvr32Test, RegisteringTwiceLeavesTheSameContents) {
  ASSERT_EQ(0u, Regsvr32("/s", BrisvelDllPath()));
  const std::string once = WholeRegistration();
  ASSERT_EQ(0u, Regsvr32("/s", BrisvelDllPath()));
  EXPECT_EQ(once, WholeRegistration());
}

TEST_F(Regsvr32Test, RemovalTakesEverythingButTheKeysNeverRemovedAndMayBeRepeated) {
  ASSERT_EQ(0u, Regsvr32("/s", BrisvelDllPath()));
  ASSERT_EQ(0u, Regsvr32("/u /s", BrisvelDllPath()));
  ExpectRemoved();
  EXPECT_EQ(0u, Regsvr32("/u /s", BrisvelDllPath()));
  ExpectRemoved();
}

TEST_F(Regsvr32Test, PathThroughAFolderNamedItsIsRegisteredAsThePlatformReportsIt) {
  const std::string folder = ProgramDirectory() + "it's";
  ::CreateDirectoryA(folder.c_str(), nullptr);
  const std::string path = folder + "\\Brisvel.DLL";
  ASSERT_TRUE(::CopyFileA(BrisvelDllPath().c_str(), path.c_str(), FALSE));
  ASSERT_EQ(0u, Regsvr32("/s", path));
  EXPECT_EQ(path, ReadClassesString(std::string(kClassKey) + "\\InprocServer32", nullptr));
  ExpectRegistered(path);
  EXPECT_EQ(0u, Regsvr32("/u /s", path));
  ExpectRemoved();
  ::DeleteFileA(path.c_str());
  ::RemoveDirectoryA(folder.c_str());
}

TEST_F(Regsvr32Test, ForeignSubkeyOfTheClassStopsRemovalAfterTheNamedEntries) {
  ASSERT_EQ(0u, Regsvr32("/s", BrisvelDllPath()));
  HKEY foreign;
  ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_CLASSES_ROOT,
                                             (std::string(kClassKey) + "\\Foreign").c_str(), 0,
                                             nullptr, 0, KEY_ALL_ACCESS, nullptr, &foreign, nullptr));
  ::RegCloseKey(foreign);

  EXPECT_NE(0u, Regsvr32("/u /s", BrisvelDllPath()));
  // The entries the script names below the class are gone; the class key
  // stays with the foreign subkey, and later steps did not run.
  EXPECT_EQ("\nForeign\n||1|Vintaro Agent\n", DumpRegistryTree(HKEY_CLASSES_ROOT, kClassKey));
  EXPECT_FALSE(KeyExists(std::string(kClassKey) + "\\InprocServer32"));
  EXPECT_FALSE(KeyExists(BRISVEL_VERSION_INDEPENDENT_PROGID));
  EXPECT_TRUE(KeyExists(kTypeLibKey));
  EXPECT_TRUE(KeyExists(kAppIdKey));
}

// The class key the other architecture's regsvr32 leaves in its own view,
// naming `server`, and its type library entry: what this architecture's
// removal must tell apart from its own registration.
void RegisterAsTheOtherArchitecture(const std::string& server) {
  const Architecture& other = kOtherArchitecture;
  ASSERT_TRUE(WriteClassesDefaultInView(other.registryView,
                                        std::string(kClassKey) + "\\InprocServer32", server));
  ASSERT_TRUE(WriteClassesDefaultInView(
      0, std::string(kTypeLibKey) + "\\1.0\\0\\" + other.syskindKey, server));
  ASSERT_TRUE(WriteClassesDefaultInView(other.registryView,
                                        std::string(kInterfaceKey) + "\\ProxyStubClsid32",
                                        "{C6E71858-D9C2-41CA-A679-8FEF8553BCDC}"));
}

// True when the prefix keeps a second view of HKCR\CLSID: a 64-bit program
// always has one, a 32-bit one only in a WoW64 prefix.
bool HasOtherView() {
  BOOL wow64 = FALSE;
  return sizeof(void*) == 8 || (::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64);
}

// Whose server the other view names: another file is the other
// architecture's Brisvel.DLL, whose hosts keep what they share with this one;
// this very file is this architecture's own registration seen through a view
// the system does not split (32-bit Windows), and removal takes everything.
struct OtherViewCase {
  const char* name;
  bool otherFile;
};

class Regsvr32OtherViewTest : public Regsvr32Test,
                              public ::testing::WithParamInterface<OtherViewCase> {
 protected:
  void SetUp() override {
    if (!HasOtherView()) GTEST_SKIP() << "a win32 prefix has one view of HKCR\\CLSID";
    Regsvr32Test::SetUp();
  }
  void TearDown() override {
    DeleteClassesKeyInView(kOtherArchitecture.registryView, "CLSID",
                           "{C4E0ED1D-8356-4A8E-9186-8ECC811B8F7A}");
    DeleteClassesKeyInView(kOtherArchitecture.registryView, "Interface",
                           "{C6E71858-D9C2-41CA-A679-8FEF8553BCDC}");
    Regsvr32Test::TearDown();
  }
};

TEST_P(Regsvr32OtherViewTest, RemovalKeepsTheSharedEntriesOnlyForAnotherFile) {
  const std::string path = BrisvelDllPath();
  const std::string server = GetParam().otherFile ? "C:\\elsewhere\\Brisvel.DLL" : path;
  ASSERT_EQ(0u, Regsvr32("/s", path));
  RegisterAsTheOtherArchitecture(server);

  ASSERT_EQ(0u, Regsvr32("/u /s", path));
  const std::string version = std::string(kTypeLibKey) + "\\1.0";
  EXPECT_EQ("(absent)", ReadClassesString(version + "\\0\\" + kThisArchitecture.syskindKey, nullptr));
  EXPECT_FALSE(KeyExists(kInterfaceKey));
  EXPECT_FALSE(KeyExists(kProxyClassKey));
  if (GetParam().otherFile) {
    EXPECT_FALSE(KeyExists(kClassKey));
    for (const char* top : kScriptTops) {
      if (top != kClassKey) EXPECT_EQ(ExpectedDump(top, path), DumpRegistryTree(HKEY_CLASSES_ROOT, top)) << top;
    }
    EXPECT_EQ("\n||1|{C6E71858-D9C2-41CA-A679-8FEF8553BCDC}\n",
              DumpClassesKeyInView(kOtherArchitecture.registryView, "Interface",
                                   "{C6E71858-D9C2-41CA-A679-8FEF8553BCDC}\\ProxyStubClsid32"));
    const std::string otherEntry = version + "\\0\\" + kOtherArchitecture.syskindKey;
    EXPECT_EQ(server, ReadClassesString(otherEntry, nullptr));
    // Removing it again finds nothing of its own left and succeeds.
    EXPECT_EQ(0u, Regsvr32("/u /s", path));
    EXPECT_EQ(server, ReadClassesString(otherEntry, nullptr));
  } else {
    for (const char* top : {"Brisvel.Agent", "Brisvel.Agent.1", kAppIdKey, kAppIdFileKey})
      EXPECT_FALSE(KeyExists(top)) << top;
  }
}

INSTANTIATE_TEST_SUITE_P(Servers, Regsvr32OtherViewTest,
                         ::testing::Values(OtherViewCase{"AnotherFile", true},
                                           OtherViewCase{"ThisFile", false}),
                         [](const ::testing::TestParamInfo<OtherViewCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
