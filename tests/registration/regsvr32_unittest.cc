// regsvr32 on the built Brisvel.DLL, in the prefix's own registry: what it
// leaves, what a second run leaves, and what removal takes away.
#include <windows.h>

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "support/identities.h"
#include "support/process.h"
#include "support/registry_override.h"
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
    EXPECT_EQ(path, ReadClassesString(version + "\\0\\win32", nullptr));
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

}  // namespace
