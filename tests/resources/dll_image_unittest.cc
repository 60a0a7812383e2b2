// The built Brisvel.DLL as a file: a 32-bit DLL under 200 KB that exports the
// four server entry points under its own name and imports system DLLs only.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>

#include "support/test_paths.h"

namespace {

class DllImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Mapped as an image without running it or binding its imports.
    module_ = ::LoadLibraryExA(BrisvelDllPath().c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(nullptr, module_) << ::GetLastError();
    base_ = reinterpret_cast<const BYTE*>(module_);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base_);
    nt_ = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base_ + dos->e_lfanew);
  }
  void TearDown() override {
    if (module_) ::FreeLibrary(module_);
  }

  template <class T>
  const T* At(DWORD rva) const { return reinterpret_cast<const T*>(base_ + rva); }
  const IMAGE_DATA_DIRECTORY& Directory(int index) const {
    return nt_->OptionalHeader.DataDirectory[index];
  }

  HMODULE module_ = nullptr;
  const BYTE* base_ = nullptr;
  const IMAGE_NT_HEADERS32* nt_ = nullptr;
};

TEST_F(DllImageTest, IsA32BitDll) {
  EXPECT_EQ(IMAGE_NT_SIGNATURE, nt_->Signature);
  EXPECT_EQ(IMAGE_FILE_MACHINE_I386, nt_->FileHeader.Machine);
  EXPECT_EQ(IMAGE_NT_OPTIONAL_HDR32_MAGIC, nt_->OptionalHeader.Magic);
  EXPECT_TRUE(nt_->FileHeader.Characteristics & IMAGE_FILE_DLL);
}

TEST_F(DllImageTest, ExportsTheServerEntryPointsUnderItsOwnName) {
  const IMAGE_DATA_DIRECTORY& directory = Directory(IMAGE_DIRECTORY_ENTRY_EXPORT);
  ASSERT_NE(0u, directory.VirtualAddress);
  const auto* exports = At<IMAGE_EXPORT_DIRECTORY>(directory.VirtualAddress);
  EXPECT_STREQ("Brisvel.DLL", At<char>(exports->Name));
  std::set<std::string> names;
  const DWORD* nameRvas = At<DWORD>(exports->AddressOfNames);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) names.insert(At<char>(nameRvas[i]));
  EXPECT_EQ((std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllInstall", "DllRegisterServer",
                                   "DllUnregisterServer"}),
            names);
}

TEST_F(DllImageTest, ImportsSystemDllsOnly) {
  const std::set<std::string> kSystem = {"kernel32.dll", "user32.dll",   "advapi32.dll",
                                         "shell32.dll",  "shlwapi.dll",  "ole32.dll",
                                         "oleaut32.dll", "rpcrt4.dll",   "msvcrt.dll"};
  const IMAGE_DATA_DIRECTORY& directory = Directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
  ASSERT_NE(0u, directory.VirtualAddress);
  int count = 0;
  for (const auto* entry = At<IMAGE_IMPORT_DESCRIPTOR>(directory.VirtualAddress); entry->Name;
       ++entry, ++count) {
    std::string name = At<char>(entry->Name);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    EXPECT_TRUE(kSystem.count(name)) << "imports " << name;
  }
  EXPECT_GT(count, 0);
}

// What the static C++ runtime brings along must not outgrow the library's own
// code: the file stays under 200 KB.
TEST(DllFileTest, IsUnder200Kilobytes) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  ASSERT_TRUE(::GetFileAttributesExA(BrisvelDllPath().c_str(), GetFileExInfoStandard, &data))
      << ::GetLastError();
  EXPECT_EQ(0u, data.nFileSizeHigh);
  EXPECT_LT(data.nFileSizeLow, 200u * 1024u);
}

}  // namespace
