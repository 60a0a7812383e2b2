// The resources of the built Brisvel.DLL, read back from the file: the two
// registry scripts byte for byte and the version block.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_paths.h"
#include "version.h"

namespace {

const char kAppIdScript[] =
    "HKCR\r\n"
    "{\r\n"
    "\tNoRemove AppID\r\n"
    "\t{\r\n"
    "\t\t'%APPID%' = s 'Brisvel'\r\n"
    "\t\t'Brisvel.DLL'\r\n"
    "\t\t{\r\n"
    "\t\t\tval AppID = s '%APPID%'\r\n"
    "\t\t}\r\n"
    "\t}\r\n"
    "}\r\n";

const char kAgentScript[] =
    "HKCR\r\n"
    "{\r\n"
    "\tBrisvel.Agent.1 = s 'Vintaro Agent'\r\n"
    "\t{\r\n"
    "\t\tCLSID = s '{C4E0ED1D-8356-4A8E-9186-8ECC811B8F7A}'\r\n"
    "\t}\r\n"
    "\tBrisvel.Agent = s 'Vintaro Agent'\r\n"
    "\t{\r\n"
    "\t\tCLSID = s '{C4E0ED1D-8356-4A8E-9186-8ECC811B8F7A}'\r\n"
    "\t\tCurVer = s 'Brisvel.Agent.1'\r\n"
    "\t}\r\n"
    "\tNoRemove CLSID\r\n"
    "\t{\r\n"
    "\t\tForceRemove {C4E0ED1D-8356-4A8E-9186-8ECC811B8F7A} = s 'Vintaro Agent'\r\n"
    "\t\t{\r\n"
    "\t\t\tProgID = s 'Brisvel.Agent.1'\r\n"
    "\t\t\tVersionIndependentProgID = s 'Brisvel.Agent'\r\n"
    "\t\t\tForceRemove 'Programmable'\r\n"
    "\t\t\tInprocServer32 = s '%MODULE%'\r\n"
    "\t\t\t{\r\n"
    "\t\t\t\tval ThreadingModel = s 'Apartment'\r\n"
    "\t\t\t}\r\n"
    "\t\t\tval AppID = s '%APPID%'\r\n"
    "\t\t\t'TypeLib' = s '{E37AB8B4-3B73-4CBF-B96F-1BC9E5AADB92}'\r\n"
    "\t\t}\r\n"
    "\t}\r\n"
    "}\r\n";

class ResourcesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = ::LoadLibraryExA(BrisvelDllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, module_) << ::GetLastError();
  }
  void TearDown() override {
    if (module_) ::FreeLibrary(module_);
  }

  // The bytes of a resource, or "(missing)".
  std::string Bytes(const char* type, WORD id, WORD language) {
    HRSRC found = ::FindResourceExA(module_, type, MAKEINTRESOURCEA(id), language);
    if (!found) return "(missing)";
    HGLOBAL loaded = ::LoadResource(module_, found);
    return std::string(static_cast<const char*>(::LockResource(loaded)),
                       ::SizeofResource(module_, found));
  }

  HMODULE module_ = nullptr;
};

const WORD kEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

TEST_F(ResourcesTest, RegistryScriptsAreByteForByte) {
  EXPECT_EQ(std::string(kAppIdScript), Bytes("REGISTRY", 101, kEnglishUs));
  EXPECT_EQ(std::string(kAgentScript), Bytes("REGISTRY", 102, kEnglishUs));
  EXPECT_EQ(119u, sizeof kAppIdScript - 1);
  EXPECT_EQ(637u, sizeof kAgentScript - 1);
}

TEST_F(ResourcesTest, TypeLibraryIsTypelibOneInUsEnglish) {
  const std::string library = Bytes("TYPELIB", 1, kEnglishUs);
  ASSERT_NE("(missing)", library);
  EXPECT_EQ("MSFT", library.substr(0, 4));
}

class VersionBlockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DWORD handle = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(BrisvelDllPath().c_str(), &handle);
    ASSERT_NE(0u, size);
    block_.resize(size);
    ASSERT_TRUE(::GetFileVersionInfoA(BrisvelDllPath().c_str(), 0, size, block_.data()));
  }

  std::string String(const char* key) {
    char* value = nullptr;
    UINT length = 0;
    const std::string path = std::string("\\StringFileInfo\\040904e3\\") + key;
    if (!::VerQueryValueA(block_.data(), path.c_str(), reinterpret_cast<void**>(&value), &length))
      return "(missing)";
    return std::string(value);
  }

  std::vector<char> block_;
};

TEST_F(VersionBlockTest, FixedPartIsTheProjectVersionWithNoFlags) {
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueA(block_.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  const DWORD high = MAKELONG(BRISVEL_VERSION_MINOR, BRISVEL_VERSION_MAJOR);
  const DWORD low = MAKELONG(BRISVEL_VERSION_TWEAK, BRISVEL_VERSION_PATCH);
  EXPECT_EQ(high, fixed->dwFileVersionMS);
  EXPECT_EQ(low, fixed->dwFileVersionLS);
  EXPECT_EQ(high, fixed->dwProductVersionMS);
  EXPECT_EQ(low, fixed->dwProductVersionLS);
  EXPECT_EQ(0x3Fu, fixed->dwFileFlagsMask);
  EXPECT_EQ(0u, fixed->dwFileFlags);
  EXPECT_EQ(static_cast<DWORD>(VOS__WINDOWS32), fixed->dwFileOS);
  EXPECT_EQ(static_cast<DWORD>(VFT_DLL), fixed->dwFileType);
  EXPECT_EQ(0u, fixed->dwFileSubtype);
  EXPECT_EQ(0u, fixed->dwFileDateMS);
  EXPECT_EQ(0u, fixed->dwFileDateLS);
}

TEST_F(VersionBlockTest, StringTableIsUsEnglishCyrillic) {
  struct Entry {
    const char* key;
    const char* value;
  } const kEntries[] = {
      {"FileDescription", "Vintaro server object"},
      {"FileVersion", BRISVEL_VERSION_TEXT},
      {"InternalName", "Brisvel"},
      {"OriginalFilename", "Brisvel.dll"},
      {"ProductName", "Vintaro"},
      {"ProductVersion", BRISVEL_VERSION_TEXT},
  };
  for (const Entry& entry : kEntries) EXPECT_EQ(entry.value, String(entry.key)) << entry.key;
  EXPECT_NE("(missing)", String("CompanyName"));
  EXPECT_NE("(missing)", String("LegalCopyright"));
}

TEST_F(VersionBlockTest, TranslationMatchesTheStringTable) {
  WORD* pair = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueA(block_.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&pair), &length));
  ASSERT_EQ(4u, length);
  EXPECT_EQ(0x0409, pair[0]);
  EXPECT_EQ(0x04E3, pair[1]);
}

}  // namespace
