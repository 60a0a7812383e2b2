// Run against the platform's own shell: the handler registered for ed2k:
// receives exactly the accepted link, and nothing else ever reaches it;
// names beyond the code page arrive escaped, and whole.
#include <gtest/gtest.h>

#include <string>

#include "agent/agent.h"
#include "support/bare_agent.h"
#include "support/link_recorder.h"
#include "support/process.h"
#include "support/registry_override.h"

namespace {

HRESULT RunLink(const wchar_t* link) {
  BareAgent agent;
  BSTR text = ::SysAllocString(link);
  const HRESULT result = agent.Run(text);
  ::SysFreeString(text);
  return result;
}

class RunShellTest : public ::testing::Test {
 protected:
  ScopedRegistryOverride classes_{HKEY_CLASSES_ROOT};
};

TEST_F(RunShellTest, HandlerReceivesExactlyTheAcceptedLink) {
  LinkRecorder recorder;
  const wchar_t kLink[] = L"ed2k://|file|Brisvel demo.iso|1048576|0123456789ABCDEF0123456789ABCDEF|/";
  ASSERT_EQ(S_OK, RunLink(kLink));
  const std::vector<RecordedLaunch> launches = recorder.WaitForLaunches(1);
  ASSERT_EQ(1u, launches.size());
  EXPECT_EQ(1, launches[0].argumentCount);
  EXPECT_EQ("ed2k://|file|Brisvel demo.iso|1048576|0123456789ABCDEF0123456789ABCDEF|/",
            launches[0].link);
}

TEST_F(RunShellTest, RefusedLinksNeverReachTheHandler) {
  LinkRecorder recorder;
  EXPECT_EQ(E_INVALIDARG, RunLink(L"ed2k:a\" \"--injected"));
  EXPECT_EQ(E_INVALIDARG, RunLink(L"http://example.invalid/"));
  EXPECT_EQ(E_INVALIDARG, RunLink(L" ed2k:x"));
  ASSERT_EQ(S_OK, RunLink(L"ed2k:last"));
  // The accepted link is launched after the refused ones: once it is there,
  // anything the refused ones had launched would be there too.
  const std::vector<RecordedLaunch> launches = recorder.WaitForLaunches(1);
  ASSERT_EQ(1u, launches.size());
  EXPECT_EQ("ed2k:last", launches[0].link);
}

// A file name of Russian, Chinese, an emoji and a letter of the code page.
const wchar_t kWorldLink[] =
    L"ed2k://|file|\x0424\x0438\x043B\x044C\x043C \x6587\x4EF6 \xD83D\xDE00 caf\x00E9.avi|1|00|/";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::wstring Widen(const std::string& bytes, UINT codePage) {
  if (bytes.empty()) return std::wstring();
  const int size = static_cast<int>(bytes.size());
  std::wstring wide(static_cast<size_t>(size), L'\0');
  const int units = ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size,
                                          &wide[0], size);
  wide.resize(units > 0 ? static_cast<size_t>(units) : 0);
  return units > 0 ? wide : L"(not " + std::to_wstring(codePage) + L")";
}

// What a handler reads from a link: every run of "%XX" escapes as UTF-8, the
// bytes between them in the system's code page.
std::wstring DecodeLink(const std::string& link) {
  std::wstring text;
  std::string plain;
  std::string escaped;
  for (size_t i = 0; i < link.size();) {
    const bool escape = link[i] == '%' && i + 2 < link.size() && HexValue(link[i + 1]) >= 0 &&
                        HexValue(link[i + 2]) >= 0;
    if (escape) {
      text += Widen(plain, CP_ACP);
      plain.clear();
      escaped += static_cast<char>(HexValue(link[i + 1]) * 16 + HexValue(link[i + 2]));
      i += 3;
    } else {
      text += Widen(escaped, CP_UTF8);
      escaped.clear();
      plain += link[i++];
    }
  }
  return text + Widen(plain, CP_ACP) + Widen(escaped, CP_UTF8);
}

TEST_F(RunShellTest, NamesBeyondTheCodePageArriveEscapedAndDecodeWhole) {
  LinkRecorder recorder;
  ASSERT_EQ(S_OK, RunLink(kWorldLink));
  const std::vector<RecordedLaunch> launches = recorder.WaitForLaunches(1);
  ASSERT_EQ(1u, launches.size());
  EXPECT_EQ(1, launches[0].argumentCount);
  // The letter of the code page goes as it is; everything else in escapes.
  if (::GetACP() == 1252) {
    EXPECT_EQ(
        "ed2k://|file|%D0%A4%D0%B8%D0%BB%D1%8C%D0%BC %E6%96%87%E4%BB%B6 %F0%9F%98%80 "
        "caf\xE9.avi|1|00|/",
        launches[0].link);
  }
  EXPECT_TRUE(DecodeLink(launches[0].link) == kWorldLink);
}

DWORD WINAPI RunOnThreadOfLocale(void* locale) {
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ::SetThreadLocale(static_cast<LCID>(reinterpret_cast<ULONG_PTR>(locale)));
  const HRESULT result = RunLink(kWorldLink);
  ::CoUninitialize();
  return static_cast<DWORD>(result);
}

// A thread's locale follows its user's format settings, which may name
// another code page than the system's; the shell reads the system's.
TEST_F(RunShellTest, AThreadOfAnotherLocaleSendsTheSameBytes) {
  LinkRecorder recorder;
  ASSERT_EQ(S_OK, RunLink(kWorldLink));
  for (LCID locale : {LCID{0x0419}, LCID{0x0411}}) {
    const DWORD result = RunThreadToEnd(
        RunOnThreadOfLocale, reinterpret_cast<void*>(static_cast<ULONG_PTR>(locale)), 30000);
    EXPECT_EQ(static_cast<DWORD>(S_OK), result) << std::hex << locale;
  }
  const std::vector<RecordedLaunch> launches = recorder.WaitForLaunches(3);
  ASSERT_EQ(3u, launches.size());
  EXPECT_EQ(launches[0].link, launches[1].link);
  EXPECT_EQ(launches[0].link, launches[2].link);
}

TEST_F(RunShellTest, NoHandlerForTheSchemeIsNoAssociation) {
  EXPECT_EQ(HRESULT(0x8007001F), RunLink(L"ed2k://|file|x|1|0|/"));
}

}  // namespace
