// Registration of a Brisvel.DLL whose folder's name holds a letter of the
// system code page beyond ASCII, from a thread whose locale names another
// code page: every entry carries the path exactly.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/architecture.h"
#include "support/identities.h"
#include "support/process.h"
#include "support/registry_override.h"
#include "support/test_paths.h"

namespace {

const wchar_t kFolder[] = L"C:\\Caf\x00E9 Tools\\";
const wchar_t kClassServerKey[] = L"CLSID\\" BRISVEL_CLSID_TEXT "\\InprocServer32";
const wchar_t kProxyServerKey[] = L"CLSID\\" BRISVEL_IID_TEXT "\\InprocServer32";
const wchar_t kTypeLibVersionKey[] = L"TypeLib\\" BRISVEL_LIBID_TEXT "\\1.0\\0\\";
const LCID kJapanese = 0x0411;

// The default value of HKCR\`key`, or "(absent)".
std::wstring ReadClassesDefault(const std::wstring& key) {
  wchar_t data[MAX_PATH * 2];
  DWORD size = sizeof data;
  if (::RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, data,
                     &size) != ERROR_SUCCESS) {
    return L"(absent)";
  }
  return data;
}

std::wstring Wide(const std::string& text) {
  wchar_t wide[MAX_PATH * 2];
  const int units = ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide, MAX_PATH * 2);
  return units > 0 ? wide : L"";
}

// Loads the library at the path and runs its DllRegisterServer.
DWORD WINAPI RegisterOnJapaneseThread(void* path) {
  ::SetThreadLocale(kJapanese);
  HMODULE module = ::LoadLibraryW(static_cast<const wchar_t*>(path));
  if (!module) return static_cast<DWORD>(E_FAIL);
  using Register = HRESULT(WINAPI*)();
  const auto registerServer = reinterpret_cast<Register>(
      reinterpret_cast<void*>(::GetProcAddress(module, "DllRegisterServer")));
  const HRESULT result = registerServer ? registerServer() : E_FAIL;
  ::FreeLibrary(module);
  return static_cast<DWORD>(result);
}

class PathCharactersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::CreateDirectoryW(kFolder, nullptr);
    ASSERT_TRUE(::CopyFileW(Wide(BrisvelDllPath()).c_str(), path_.c_str(), FALSE))
        << ::GetLastError();
  }

  void TearDown() override {
    ::DeleteFileW(path_.c_str());
    ::RemoveDirectoryW(kFolder);
  }

  const std::wstring path_ = std::wstring(kFolder) + L"Brisvel.DLL";
  ScopedRegistryOverride classes_{HKEY_CLASSES_ROOT};
};

TEST_F(PathCharactersTest, EveryEntryCarriesThePathExactly) {
  // The folder's letter is the system code page's, which Japanese lacks.
  ASSERT_EQ(1252u, ::GetACP()) << "the prefix's code page";
  const DWORD result =
      RunThreadToEnd(RegisterOnJapaneseThread, const_cast<wchar_t*>(path_.c_str()), 60000);
  ASSERT_EQ(static_cast<DWORD>(S_OK), result) << std::hex << result;

  const std::string syskind = kThisArchitecture.syskindKey;
  const std::wstring platform(syskind.begin(), syskind.end());
  EXPECT_TRUE(path_ == ReadClassesDefault(kClassServerKey)) << "the class";
  EXPECT_TRUE(path_ == ReadClassesDefault(std::wstring(kTypeLibVersionKey) + platform))
      << "the type library";
  EXPECT_TRUE(path_ == ReadClassesDefault(kProxyServerKey)) << "the proxy/stub";
}

}  // namespace
