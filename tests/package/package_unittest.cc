// The installer package under the platform's own msiexec. Every test runs in
// a prefix of its own that never saw the component (see fresh-prefix), so
// "before" is a clean machine and nothing leaks from one test to the next.
#include <windows.h>

#include <gtest/gtest.h>
#include <msi.h>
#include <shlobj.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/link_recorder.h"
#include "support/process.h"
#include "support/registry_text.h"
#include "package/registry_tree.h"
#include "support/test_paths.h"

namespace {

using Lines = std::set<std::string>;

// The packages stand in the build's package folder, beside bin.
std::string PackagePath(const char* name) { return ProgramDirectory() + "..\\package\\" + name; }

// Every key and value of HKEY_CLASSES_ROOT but the installer engine's own
// records below Installer, which it keeps for every product it ever saw.
Lines ClassesLines() {
  Lines lines;
  for (const RegistryKeyRecord& key : ReadRegistryTree(HKEY_CLASSES_ROOT, "")) {
    if (key.path == "Installer" || key.path.rfind("Installer\\", 0) == 0) continue;
    lines.insert(key.path);
    for (const RegistryValue& value : key.values) {
      lines.insert(FormatRegistryValue(key.path, value.name, value.type, value.data));
    }
  }
  return lines;
}

// The lines of `after` that `before` lacks, one text.
std::string Added(const Lines& before, const Lines& after) {
  std::string text;
  for (const std::string& line : after) {
    if (!before.count(line)) text += line + "\n";
  }
  return text;
}

void ListFolder(const std::string& folder, std::string* listing) {
  WIN32_FIND_DATAA found;
  HANDLE search = ::FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    const std::string path = folder + "\\" + name;
    *listing += path + " " + std::to_string(found.nFileSizeLow) + "\n";
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ListFolder(path, listing);
  } while (::FindNextFileA(search, &found));
  ::FindClose(search);
}

// The program folders, as a listing of paths and sizes.
std::string ProgramFiles() {
  std::string listing;
  for (const char* folder : {"C:\\Program Files", "C:\\Program Files (x86)"}) ListFolder(folder, &listing);
  return listing;
}

// The installer's cache of the packages of installed products.
std::string CachedPackages() {
  std::string listing;
  ListFolder("C:\\windows\\Installer", &listing);
  return listing;
}

// What an installation could leave in the file system.
std::string InstalledFiles() { return ProgramFiles() + CachedPackages(); }

size_t LineCount(const std::string& text) {
  size_t count = 0;
  for (char c : text) count += c == '\n';
  return count;
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

bool FileExists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Where the package puts the library for a program of this architecture.
std::string InstalledDllPath() {
  char folder[MAX_PATH] = {};
  ::SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, folder);
  return std::string(folder) + "\\Brisvel\\Brisvel.DLL";
}

DWORD Msiexec(const std::string& options, const std::string& package) {
  return RunProcess("msiexec.exe " + options + " \"" + package + "\" /qn", 180000).exitCode;
}

DWORD Regsvr32(const std::string& options, const std::string& path) {
  return RunProcess("regsvr32.exe " + options + " \"" + path + "\"").exitCode;
}

// The product codes the installer engine knows.
std::vector<std::string> Products() {
  std::vector<std::string> products;
  char code[39];
  for (DWORD i = 0; ::MsiEnumProductsA(i, code) == ERROR_SUCCESS; ++i) products.push_back(code);
  return products;
}

std::string ProductVersion(const std::string& product) {
  char version[64] = {};
  DWORD size = sizeof version;
  ::MsiGetProductInfoA(product.c_str(), INSTALLPROPERTY_VERSIONSTRING, version, &size);
  return version;
}

const char kLink[] = "ed2k://|file|installed.iso|1|0123456789ABCDEF0123456789ABCDEF|/";

// Runs a JScript under `host` that creates "Brisvel.Agent" and hands it
// kLink; 0 when both succeeded.
DWORD RunAgentScript(const std::string& host = "cscript.exe") {
  const std::string path = UniqueFilePath("agent", ".js");
  std::ofstream(path, std::ios::binary)
      << "try { new ActiveXObject('Brisvel.Agent').Run('" << kLink << "'); WScript.Quit(0); }\n"
      << "catch (e) { WScript.Quit(1); }\n";
  const DWORD exitCode = RunProcess(host + " //nologo //B \"" + path + "\"").exitCode;
  ::DeleteFileA(path.c_str());
  return exitCode;
}

// A machine in use holds other components' interfaces in both views. A
// fresh 64-bit prefix has an empty 32-bit interface key, and the installer
// engine removes a key that its uninstall leaves empty, even one that was
// there before; a real 64-bit Windows never has that key empty.
void RegisterAForeignInterface() {
  for (const char* path : {"Interface\\{0F0E0D0C-0B0A-0908-0706-050403020100}",
                           "Wow6432Node\\Interface\\{0F0E0D0C-0B0A-0908-0706-050403020100}"}) {
    HKEY key;
    if (::RegCreateKeyExA(HKEY_CLASSES_ROOT, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                          nullptr) == ERROR_SUCCESS) {
      ::RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("IForeign"), 9);
      ::RegCloseKey(key);
    }
  }
}

const std::string kPackage = PackagePath(BRISVEL_MSI_NAME);
const std::string kOlderPackage = PackagePath(BRISVEL_OLDER_MSI_NAME);

TEST(PackageTest, InstallWritesExactlyWhatRegsvr32OfTheInstalledFileWrites) {
  const Lines before = ClassesLines();
  ASSERT_EQ(0u, Msiexec("/i", kPackage));
  const std::string installed = Added(before, ClassesLines());
  EXPECT_NE(std::string::npos, installed.find(InstalledDllPath())) << installed;
  ASSERT_EQ(0u, Msiexec("/x", kPackage));

  // The same file at the same path, registered by the platform's regsvr32.
  const std::string dll = InstalledDllPath();
  ::CreateDirectoryA(dll.substr(0, dll.find_last_of('\\')).c_str(), nullptr);
  ASSERT_TRUE(::CopyFileA(BrisvelDllPath().c_str(), dll.c_str(), FALSE));
  ASSERT_EQ(0u, Regsvr32("/s", dll));
  EXPECT_EQ(Added(before, ClassesLines()), installed);
  EXPECT_EQ(0u, Regsvr32("/u /s", dll));
}

TEST(PackageTest, InstallPutsTheLibraryInProgramFilesAndUninstallRestoresEverything) {
  RegisterAForeignInterface();
  const Lines before = ClassesLines();
  const std::string filesBefore = InstalledFiles();
  ASSERT_EQ(0u, Msiexec("/i", kPackage));
  EXPECT_EQ(ReadFile(BrisvelDllPath()), ReadFile(InstalledDllPath()));
  ASSERT_EQ(1u, Products().size());

  ASSERT_EQ(0u, Msiexec("/x", kPackage));
  EXPECT_EQ("", Added(before, ClassesLines()));
  EXPECT_EQ("", Added(ClassesLines(), before));
  EXPECT_EQ(filesBefore, InstalledFiles());
  EXPECT_TRUE(Products().empty());
}

TEST(PackageTest, ScriptCreatesTheInstalledAgentAndTheHandlerReceivesTheLink) {
  ASSERT_EQ(0u, Msiexec("/i", kPackage));
  {
    LinkRecorder recorder;
    EXPECT_EQ(0u, RunAgentScript());
    const std::vector<RecordedLaunch> launches = recorder.WaitForLaunches(1);
    ASSERT_EQ(1u, launches.size());
    EXPECT_EQ(1, launches[0].argumentCount);
    EXPECT_EQ(kLink, launches[0].link);
  }
  ASSERT_EQ(0u, Msiexec("/x", kPackage));
  EXPECT_NE(0u, RunAgentScript());
}

TEST(PackageTest, UpgradeOverAnOlderVersionLeavesOneProductOneRegistrationAndNoOldFile) {
  const Lines before = ClassesLines();
  ASSERT_EQ(0u, Msiexec("/i", kPackage));
  const std::string fresh = Added(before, ClassesLines());
  const std::string freshFiles = ProgramFiles();
  const size_t freshCache = LineCount(CachedPackages());
  ASSERT_EQ(0u, Msiexec("/x", kPackage));

  ASSERT_EQ(0u, Msiexec("/i", kOlderPackage));
  ASSERT_EQ(1u, Products().size());
  const std::string older = Products()[0];
  ASSERT_EQ(0u, Msiexec("/i", kPackage));

  const std::vector<std::string> products = Products();
  ASSERT_EQ(1u, products.size());
  EXPECT_NE(older, products[0]);
  EXPECT_EQ(BRISVEL_VERSION, ProductVersion(products[0]));
  EXPECT_EQ(fresh, Added(before, ClassesLines()));
  EXPECT_EQ(freshFiles, ProgramFiles());
  EXPECT_EQ(ReadFile(BrisvelDllPath()), ReadFile(InstalledDllPath()));
  // The old product's cached package went with it (the cache names its
  // packages afresh, so they are counted).
  EXPECT_EQ(freshCache, LineCount(CachedPackages())) << CachedPackages();
}

TEST(PackageTest, RepairPutsBackADeletedLibrary) {
  ASSERT_EQ(0u, Msiexec("/i", kPackage));
  ASSERT_TRUE(::DeleteFileA(InstalledDllPath().c_str()));
  // The repair as properties, which is what msiexec's /f asks of the engine
  // (Wine 8's msiexec answers /f with 1 and does nothing).
  EXPECT_EQ(0u, Msiexec("REINSTALL=ALL REINSTALLMODE=omus /i", kPackage));
  EXPECT_EQ(ReadFile(BrisvelDllPath()), ReadFile(InstalledDllPath()));
  EXPECT_EQ(0u, Msiexec("/x", kPackage));
}

struct Damage {
  const char* name;
  void (*apply)(std::string* bytes);
};

const Damage kDamages[] = {
    {"first byte changed", [](std::string* bytes) { (*bytes)[0] ^= 0x55; }},
    {"cut in half", [](std::string* bytes) { bytes->resize(bytes->size() / 2); }},
    {"empty", [](std::string* bytes) { bytes->clear(); }},
};

TEST(PackageTest, DamagedPackageIsRefusedAndChangesNothing) {
  const Lines before = ClassesLines();
  const std::string filesBefore = InstalledFiles();
  for (const Damage& damage : kDamages) {
    SCOPED_TRACE(damage.name);
    std::string bytes = ReadFile(kPackage);
    ASSERT_FALSE(bytes.empty());
    damage.apply(&bytes);
    const std::string path = UniqueFilePath("damaged", ".msi");
    std::ofstream(path, std::ios::binary) << bytes;
    EXPECT_NE(0u, Msiexec("/i", path));
    ::DeleteFileA(path.c_str());
    EXPECT_EQ("", Added(before, ClassesLines()));
    EXPECT_EQ(filesBefore, InstalledFiles());
    EXPECT_TRUE(Products().empty());
    EXPECT_FALSE(FileExists(InstalledDllPath()));
  }
}

}  // namespace

namespace {

// The 32-bit script host of a 64-bit system.
const char kScriptHost32[] = "C:\\windows\\syswow64\\cscript.exe";

// The other architecture's package, where the build knows one (the 64-bit
// build names the 32-bit build's), else empty.
std::string OtherPackage() {
  char path[MAX_PATH] = {};
  const DWORD length = ::GetEnvironmentVariableA("BRISVEL_OTHER_PACKAGE", path, MAX_PATH);
  return length > 0 && length < MAX_PATH && FileExists(path) ? path : "";
}

TEST(PackageTest, BothPackagesSideBySideEachServeTheirOwnHosts) {
  const std::string other = OtherPackage();
  if (other.empty()) GTEST_SKIP() << "no package of the other architecture beside this one";
  if (RunProcess(std::string(kScriptHost32) + " //nologo //B //?").exitCode == 0xFFFFFFFF) {
    GTEST_SKIP() << "this machine cannot run 32-bit programs";
  }
  LinkRecorder recorder;
  ASSERT_EQ(0u, Msiexec("/i", kPackage));
  ASSERT_EQ(0u, Msiexec("/i", other));
  EXPECT_EQ(2u, Products().size());
  EXPECT_EQ(0u, RunAgentScript());
  EXPECT_EQ(0u, RunAgentScript(kScriptHost32));

  // Removing the other architecture's package leaves this one working.
  ASSERT_EQ(0u, Msiexec("/x", other));
  EXPECT_EQ(0u, RunAgentScript());
  EXPECT_NE(0u, RunAgentScript(kScriptHost32));
  ASSERT_EQ(0u, Msiexec("/i", other));
  // And the other way round.
  ASSERT_EQ(0u, Msiexec("/x", kPackage));
  EXPECT_NE(0u, RunAgentScript());
  EXPECT_EQ(0u, RunAgentScript(kScriptHost32));
  EXPECT_EQ(0u, Msiexec("/x", other));
}

}  // namespace
