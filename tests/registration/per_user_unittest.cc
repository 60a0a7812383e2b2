// Per-user installation through regsvr32 /n /i:user: everything lands in the
// current user's classes, nothing in the machine's; script callers then work;
// removal leaves the user's classes as they were.
#include <windows.h>

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <fstream>
#include <string>

#include "support/identities.h"
#include "support/link_recorder.h"
#include "support/process.h"
#include "support/registry_override.h"
#include "support/test_paths.h"

namespace {

const char* const kComponentKeys[] = {
    kAppIdKey,
    "AppID\\Brisvel.DLL",
    BRISVEL_VERSION_INDEPENDENT_PROGID,
    BRISVEL_PROGID,
    kClassKey,
    kTypeLibKey,
    kInterfaceKey,
    kProxyClassKey,
};

std::string UserClasses(const char* key) {
  return DumpRegistryTree(HKEY_CURRENT_USER, std::string("Software\\Classes\\") + key);
}

std::string MachineClasses(const char* key) {
  return DumpRegistryTree(HKEY_LOCAL_MACHINE, std::string("Software\\Classes\\") + key);
}

DWORD Regsvr32(const std::string& options) {
  return RunProcess("regsvr32.exe " + options + " \"" + BrisvelDllPath() + "\"").exitCode;
}

// True when the platform shows the user's classes through HKEY_CLASSES_ROOT,
// as Windows does; only then can callers find a per-user registration.
bool ClassesRootShowsUserClasses() {
  const char kProbe[] = "Software\\Classes\\Brisvel.UserClassesProbe";
  HKEY key;
  if (::RegCreateKeyExA(HKEY_CURRENT_USER, kProbe, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
    return false;
  }
  ::RegCloseKey(key);
  const bool shown = ::RegOpenKeyExA(HKEY_CLASSES_ROOT, "Brisvel.UserClassesProbe", 0, KEY_READ,
                                     &key) == ERROR_SUCCESS;
  if (shown) ::RegCloseKey(key);
  ::RegDeleteKeyA(HKEY_CURRENT_USER, kProbe);
  return shown;
}

class PerUserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RemoveEverything();
    before_ = DumpRegistryTree(HKEY_CURRENT_USER, "Software\\Classes");
  }
  void TearDown() override { RemoveEverything(); }

  static void RemoveEverything() {
    for (const char* key : kComponentKeys) {
      ::SHDeleteKeyA(HKEY_CURRENT_USER, (std::string("Software\\Classes\\") + key).c_str());
      ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string("Software\\Classes\\") + key).c_str());
    }
  }

  std::string before_;
};

TEST_F(PerUserTest, EverythingLandsInTheUsersClassesAndNothingInTheMachines) {
  ASSERT_EQ(0u, Regsvr32("/s /n /i:user"));
  for (const char* key : kComponentKeys) {
    EXPECT_NE("(absent)", UserClasses(key)) << key;
    EXPECT_EQ("(absent)", MachineClasses(key)) << key;
  }
  char path[1024] = {};
  DWORD size = sizeof path;
  ASSERT_EQ(ERROR_SUCCESS,
            ::RegGetValueA(HKEY_CURRENT_USER,
                           "Software\\Classes\\CLSID\\" BRISVEL_CLSID_TEXT "\\"
                           "InprocServer32",
                           nullptr, RRF_RT_REG_SZ, nullptr, path, &size));
  EXPECT_EQ(BrisvelDllPath(), path);
}

TEST_F(PerUserTest, ScriptCallersWorkAfterAPerUserInstallation) {
  if (!ClassesRootShowsUserClasses()) {
    GTEST_SKIP() << "this platform's HKEY_CLASSES_ROOT does not show the user's classes "
                    "(Wine 8 shows the machine's only), so no caller can find them";
  }
  ASSERT_EQ(0u, Regsvr32("/s /n /i:user"));
  LinkRecorder recorder;
  const std::string script = UniqueFilePath("per-user", ".js");
  std::ofstream(script, std::ios::binary)
      << "var agent = new ActiveXObject('Brisvel.Agent');\n"
         "agent.Run('ed2k://|file|per-user.iso|1|0|/');\n"
         "try { agent.Run('mailto:x'); } catch (e) { WScript.Echo((e.number >>> 0).toString(16)); }\n";
  const ProcessResult result = RunProcess("cscript.exe //nologo \"" + script + "\"");
  ::DeleteFileA(script.c_str());
  EXPECT_EQ("80070057", result.output.substr(0, 8)) << result.output;
  const std::vector<RecordedLaunch> launches = recorder.WaitForLaunches(1);
  ASSERT_EQ(1u, launches.size());
  EXPECT_EQ("ed2k://|file|per-user.iso|1|0|/", launches[0].link);
}

TEST_F(PerUserTest, RemovalLeavesTheUsersClassesAsTheyWere) {
  ASSERT_EQ(0u, Regsvr32("/s /n /i:user"));
  ASSERT_EQ(0u, Regsvr32("/u /s /n /i:user"));
  EXPECT_EQ(before_, DumpRegistryTree(HKEY_CURRENT_USER, "Software\\Classes"));
  EXPECT_EQ(0u, Regsvr32("/u /s /n /i:user"));
}

}  // namespace
