// Registering the embedded type library, and its ".tlb" fallback, in a
// private HKEY_CLASSES_ROOT.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "idl/brisvel.h"
#include "registration/type_library.h"
#include "server/handle.h"
#include "support/identities.h"
#include "support/platform_override.h"
#include "support/registry_override.h"
#include "support/test_paths.h"

namespace {

std::string ThisProgram() {
  char path[MAX_PATH];
  ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

// Writes this program's own TYPELIB 1 (the library's) to `path`.
void WriteTypeLibraryFile(const std::string& path) {
  HRSRC found = ::FindResourceA(nullptr, MAKEINTRESOURCEA(1), "TYPELIB");
  ASSERT_NE(nullptr, found);
  const char* bytes = static_cast<const char*>(::LockResource(::LoadResource(nullptr, found)));
  std::ofstream(path, std::ios::binary).write(bytes, ::SizeofResource(nullptr, found));
}

// The module file name the seam reports instead of the real one.
std::string g_fakeName;
DWORD g_fakeError = 0;

DWORD WINAPI FakeModuleName(HMODULE, LPSTR path, DWORD size) {
  ::SetLastError(g_fakeError);
  if (g_fakeName.empty()) return 0;
  lstrcpynA(path, g_fakeName.c_str(), size);
  return static_cast<DWORD>(g_fakeName.size() < size ? g_fakeName.size() : size);
}

// Loads the library as the module the test named, and gives the path it was
// loaded from.
HRESULT LoadedLibraryPath(std::wstring* path) {
  CBstr loaded;
  CInterfacePtr<ITypeLib> library;
  const HRESULT result = LoadModuleTypeLibrary(nullptr, loaded.Receive(), library.Receive());
  if (loaded) *path = loaded.Get();
  return result;
}

class TypeLibraryRegistrationTest : public ::testing::Test {
 protected:
  void UseModuleName(const std::string& name, DWORD error = 0) {
    g_fakeName = name;
    g_fakeError = error;
    platform_->GetModuleFileNameA = FakeModuleName;
  }

  ScopedRegistryOverride classes_{HKEY_CLASSES_ROOT};
  ScopedPlatformCalls platform_;
};

TEST_F(TypeLibraryRegistrationTest, RegistersTheEmbeddedLibraryWithItsHelpDirectory) {
  ASSERT_EQ(S_OK, RegisterModuleTypeLibrary(::GetModuleHandleA(nullptr)));
  const std::string version = std::string(kTypeLibKey) + "\\1.0";
  EXPECT_EQ("Brisvel 1.0 Type Library", ReadClassesString(version, nullptr));
  EXPECT_EQ(ThisProgram(), ReadClassesString(version + "\\0\\win32", nullptr));
  EXPECT_EQ(ProgramDirectory(), ReadClassesString(version + "\\HELPDIR", nullptr));

  // Registered, the library loads by its identity.
  CInterfacePtr<ITypeLib> library;
  ASSERT_EQ(S_OK, ::LoadRegTypeLib(LIBID_Vintaro, 1, 0, 0, library.Receive()));
  library.Reset();

  ASSERT_EQ(S_OK, UnregisterModuleTypeLibrary(::GetModuleHandleA(nullptr)));
  EXPECT_EQ("(absent)", DumpRegistryTree(HKEY_CLASSES_ROOT, kTypeLibKey));
}

TEST_F(TypeLibraryRegistrationTest, RegisteringTwiceLeavesTheSameContents) {
  ASSERT_EQ(S_OK, RegisterModuleTypeLibrary(::GetModuleHandleA(nullptr)));
  const std::string once = DumpRegistryTree(HKEY_CLASSES_ROOT, "");
  ASSERT_EQ(S_OK, RegisterModuleTypeLibrary(::GetModuleHandleA(nullptr)));
  EXPECT_EQ(once, DumpRegistryTree(HKEY_CLASSES_ROOT, ""));
}

TEST_F(TypeLibraryRegistrationTest, UnregisteringWhatIsNotRegisteredSucceeds) {
  // The platform refuses; the registration is absent all the same, so a
  // repeated uninstall must not fail.
  ASSERT_TRUE(FAILED(::UnRegisterTypeLib(LIBID_Vintaro, 1, 0, 0, SYS_WIN32)));
  EXPECT_EQ(S_OK, UnregisterModuleTypeLibrary(::GetModuleHandleA(nullptr)));
}

TEST_F(TypeLibraryRegistrationTest, OtherRefusalsOfUnregisteringAreReported) {
  // A registration the platform cannot take apart: a version key whose
  // contents it does not expect. Whatever the platform answers is passed on
  // while the registration stays.
  ASSERT_EQ(S_OK, RegisterModuleTypeLibrary(::GetModuleHandleA(nullptr)));
  ASSERT_EQ(S_OK, ::UnRegisterTypeLib(LIBID_Vintaro, 1, 0, 0, SYS_WIN32));
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_CLASSES_ROOT,
                                             (std::string(kTypeLibKey) + "\\1.0").c_str(), 0,
                                             nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
  ::RegCloseKey(key);
  const HRESULT platform = ::UnRegisterTypeLib(LIBID_Vintaro, 1, 0, 0, SYS_WIN32);
  if (SUCCEEDED(platform)) GTEST_SKIP() << "the platform removes a bare version key";
  EXPECT_EQ(platform, UnregisterModuleTypeLibrary(::GetModuleHandleA(nullptr)));
}

TEST_F(TypeLibraryRegistrationTest, FallsBackToATlbFileBesideTheModule) {
  const std::string stem = UniqueFilePath("no-library", "");
  WriteTypeLibraryFile(stem + ".tlb");
  UseModuleName(stem + ".DLL");  // no such module file: the first load fails
  std::wstring path;
  ASSERT_EQ(S_OK, LoadedLibraryPath(&path));
  EXPECT_EQ(std::wstring(stem.begin(), stem.end()) + L".tlb", path);

  ASSERT_EQ(S_OK, RegisterModuleTypeLibrary(nullptr));
  const std::string version = std::string(kTypeLibKey) + "\\1.0";
  EXPECT_EQ(stem + ".tlb", ReadClassesString(version + "\\0\\win32", nullptr));
  EXPECT_EQ(ProgramDirectory(), ReadClassesString(version + "\\HELPDIR", nullptr));
  ::DeleteFileA((stem + ".tlb").c_str());
}

TEST_F(TypeLibraryRegistrationTest, NameWithoutExtensionGetsTlbAppended) {
  const std::string stem = UniqueFilePath("bare", "");
  WriteTypeLibraryFile(stem + ".tlb");
  UseModuleName(stem);
  std::wstring path;
  ASSERT_EQ(S_OK, LoadedLibraryPath(&path));
  EXPECT_EQ(std::wstring(stem.begin(), stem.end()) + L".tlb", path);
  ::DeleteFileA((stem + ".tlb").c_str());
}

struct NameCase {
  const char* name;
  size_t nameLength;  // the fake name is padded with 'a' to this length
  DWORD error;
  HRESULT expected;
};

class ModuleNameTest : public TypeLibraryRegistrationTest,
                       public ::testing::WithParamInterface<NameCase> {};

TEST_P(ModuleNameTest, FailuresOfTheModuleNameAreReported) {
  std::string name = GetParam().name;
  if (GetParam().nameLength > name.size()) name.insert(3, GetParam().nameLength - name.size(), 'a');
  UseModuleName(GetParam().nameLength ? name : "", GetParam().error);
  BSTR path = reinterpret_cast<BSTR>(1);
  ITypeLib* library = reinterpret_cast<ITypeLib*>(1);
  EXPECT_EQ(GetParam().expected, LoadModuleTypeLibrary(nullptr, &path, &library));
  EXPECT_EQ(nullptr, path);
  EXPECT_EQ(nullptr, library);
  EXPECT_EQ(GetParam().expected, RegisterModuleTypeLibrary(nullptr));
}

INSTANTIATE_TEST_SUITE_P(
    Names, ModuleNameTest,
    ::testing::Values(
        // The name fills the whole buffer: it may have been cut.
        NameCase{"C:\\x.DLL", 260, 0, HRESULT(0x8007007A)},
        // No name, with and without a recorded error.
        NameCase{"", 0, ERROR_MOD_NOT_FOUND, HRESULT(0x8007007E)},
        NameCase{"", 0, 0, E_FAIL},
        // The extension starts at 256: ".tlb" would not fit, no fallback.
        NameCase{"C:\\.DL", 259, 0, E_FAIL}));

TEST_F(TypeLibraryRegistrationTest, NullOutputsArePointerErrors) {
  BSTR path = nullptr;
  ITypeLib* library = nullptr;
  EXPECT_EQ(E_POINTER, LoadModuleTypeLibrary(nullptr, nullptr, &library));
  EXPECT_EQ(E_POINTER, LoadModuleTypeLibrary(nullptr, &path, nullptr));
}

struct DirectoryCase {
  const wchar_t* path;
  size_t expected;
};

class DirectoryLengthTest : public ::testing::TestWithParam<DirectoryCase> {};

TEST_P(DirectoryLengthTest, EndsAfterTheLastSeparator) {
  EXPECT_EQ(GetParam().expected, GetDirectoryLength(GetParam().path));
}

INSTANTIATE_TEST_SUITE_P(Paths, DirectoryLengthTest,
                         ::testing::Values(DirectoryCase{L"C:\\dir\\Brisvel.DLL", 7},
                                           DirectoryCase{L"C:Brisvel.DLL", 2},
                                           DirectoryCase{L"Brisvel.DLL", 0},
                                           DirectoryCase{L"", 0},
                                           DirectoryCase{nullptr, 0},
                                           DirectoryCase{L"C:/a/b.tlb", 5},
                                           DirectoryCase{L"\\\\host\\share\\", 13}));

}  // namespace
