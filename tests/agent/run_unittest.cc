// Run against a recording shell: which links reach it, exactly as what, and
// which result comes back for each answer of the shell.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "agent/agent.h"
#include "support/bare_agent.h"
#include "support/case_name.h"
#include "support/platform_override.h"
#include "support/recording_shell.h"
#include "support/system_code_page.h"

namespace {

class RunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetShellRecord();
    platform_->ShellExecuteA = RecordingShell;
  }

  HRESULT Run(const std::wstring& link) {
    BSTR text = ::SysAllocStringLen(link.data(), static_cast<UINT>(link.size()));
    const HRESULT result = agent_.Run(text);
    ::SysFreeString(text);
    return result;
  }

  ScopedPlatformCalls platform_;
  BareAgent agent_;
};

struct LinkCase {
  const char* name;
  std::wstring link;
  HRESULT expected;
  const char* shellReceives;  // null: the shell must not be called
};

const LinkCase kLinkCases[] = {
    {"prefix alone", L"ed2k:", E_INVALIDARG, nullptr},
    {"prefix and one unit", L"ed2k:x", S_OK, "ed2k:x"},
    {"typical file link", L"ed2k://|file|a b.iso|12|ABCDEF|/", S_OK,
     "ed2k://|file|a b.iso|12|ABCDEF|/"},
    {"capitals", L"ED2K:x", S_OK, "ED2K:x"},
    {"mixed case", L"eD2k:x", S_OK, "eD2k:x"},
    {"quote and prefix alone", L"\"ed2k:", E_INVALIDARG, nullptr},
    {"quote, prefix and one unit", L"\"ed2k:x", S_OK, "\"ed2k:x"},
    {"quoted link with closing quote", L"\"ed2k:x\"", S_OK, "\"ed2k:x\""},
    {"blank in front", L" ed2k:x", E_INVALIDARG, nullptr},
    {"other scheme", L"http://example.invalid/", E_INVALIDARG, nullptr},
    {"empty", L"", E_INVALIDARG, nullptr},
    {"kelvin sign for k", L"ed2\x212A:x", E_INVALIDARG, nullptr},
    {"fullwidth letters", L"\xFF45\xFF44\xFF12\xFF4B:x", E_INVALIDARG, nullptr},
    {"fullwidth quote in front", L"\xFF02" L"ed2k:x", E_INVALIDARG, nullptr},
    {"NUL right after prefix", std::wstring(L"ed2k:\0xyz", 9), E_INVALIDARG, nullptr},
    {"NUL after one unit", std::wstring(L"ed2k:a\0xyz", 10), S_OK, "ed2k:a"},
    {"interior quote", L"ed2k:a\" --evil", E_INVALIDARG, nullptr},
    {"closing quote without opening", L"ed2k:a\"", E_INVALIDARG, nullptr},
    {"quote inside a quoted link", L"\"ed2k:a\"b\"", E_INVALIDARG, nullptr},
    {"two closing quotes", L"\"ed2k:a\"\"", E_INVALIDARG, nullptr},
    {"percent and backslash pass as they are", L"ed2k:%1\\%%", S_OK, "ed2k:%1\\%%"},
};

class RunLinkTest : public RunTest, public ::testing::WithParamInterface<LinkCase> {};

TEST_P(RunLinkTest, AcceptsOnlyEd2kLinks) {
  const LinkCase& c = GetParam();
  EXPECT_EQ(c.expected, Run(c.link));
  if (!c.shellReceives) {
    EXPECT_TRUE(g_shellCalls.empty());
    return;
  }
  ASSERT_EQ(1u, g_shellCalls.size());
  const ShellCall& call = g_shellCalls[0];
  EXPECT_EQ("open", call.verb);
  EXPECT_EQ(c.shellReceives, call.file);
  EXPECT_TRUE(call.parametersNull);
  EXPECT_TRUE(call.directoryNull);
  EXPECT_EQ(SW_SHOWNORMAL, call.show);
}

INSTANTIATE_TEST_SUITE_P(Links, RunLinkTest, ::testing::ValuesIn(kLinkCases), CaseName());

// Links with characters beyond ASCII under the system code pages that matter:
// what the code page holds goes as it converts, everything else as the
// percent-encoded bytes of its UTF-8 form.
struct CodePageLinkCase {
  const char* name;
  UINT codePage;
  std::wstring link;
  const char* shellReceives;  // null: refused with E_INVALIDARG
};

const wchar_t kCyrillic[] = L"ed2k:\x0424\x0438\x043B\x044C\x043C";  // a film, in Russian
const wchar_t kCjk[] = L"ed2k:\x6587\x4EF6";
const wchar_t kEmoji[] = L"ed2k:\xD83D\xDE00";
const wchar_t kAccent[] = L"ed2k:caf\x00E9";
const wchar_t kFullwidthQuote[] = L"ed2k:a\xFF02";
const wchar_t kPercent[] = L"ed2k:100%25%";
const wchar_t kUnpairedHigh[] = L"ed2k:\xD800x";
const wchar_t kUnpairedLow[] = L"ed2k:x\xDC00";
const wchar_t kReversedPair[] = L"ed2k:\xDE00\xD83D";
const wchar_t kHighAtTheEnd[] = L"\"ed2k:x\xD83D\"";

const CodePageLinkCase kCodePageLinkCases[] = {
    {"1252 cyrillic", 1252, kCyrillic, "ed2k:%D0%A4%D0%B8%D0%BB%D1%8C%D0%BC"},
    {"1252 cjk", 1252, kCjk, "ed2k:%E6%96%87%E4%BB%B6"},
    {"1252 emoji", 1252, kEmoji, "ed2k:%F0%9F%98%80"},
    {"1252 accent", 1252, kAccent, "ed2k:caf\xE9"},
    {"1252 fullwidth quote", 1252, kFullwidthQuote, "ed2k:a%EF%BC%82"},
    {"1252 percent", 1252, kPercent, "ed2k:100%25%"},
    {"1252 unpaired high", 1252, kUnpairedHigh, nullptr},
    {"1252 unpaired low", 1252, kUnpairedLow, nullptr},
    {"1252 reversed pair", 1252, kReversedPair, nullptr},
    {"1252 high before closing quote", 1252, kHighAtTheEnd, nullptr},
    {"1252 whole file link", 1252,
     L"ed2k://|file|\x0424\x0438\x043B\x044C\x043C \x6587\x4EF6 caf\x00E9.avi|1|00|/",
     "ed2k://|file|%D0%A4%D0%B8%D0%BB%D1%8C%D0%BC %E6%96%87%E4%BB%B6 caf\xE9.avi|1|00|/"},
    {"932 cyrillic", 932, kCyrillic, "ed2k:\x84\x55\x84\x79\x84\x7C\x84\x8E\x84\x7D"},
    {"932 cjk", 932, kCjk, "ed2k:\x95\xB6\x8C\x8F"},
    {"932 emoji", 932, kEmoji, "ed2k:%F0%9F%98%80"},
    {"932 accent", 932, kAccent, "ed2k:caf%C3%A9"},
    {"932 fullwidth quote", 932, kFullwidthQuote, "ed2k:a\xFA\x57"},
    {"932 percent", 932, kPercent, "ed2k:100%25%"},
    {"932 unpaired high", 932, kUnpairedHigh, nullptr},
    {"932 unpaired low", 932, kUnpairedLow, nullptr},
    {"65001 cyrillic", CP_UTF8, kCyrillic, "ed2k:\xD0\xA4\xD0\xB8\xD0\xBB\xD1\x8C\xD0\xBC"},
    {"65001 cjk", CP_UTF8, kCjk, "ed2k:\xE6\x96\x87\xE4\xBB\xB6"},
    {"65001 emoji", CP_UTF8, kEmoji, "ed2k:\xF0\x9F\x98\x80"},
    {"65001 accent", CP_UTF8, kAccent, "ed2k:caf\xC3\xA9"},
    {"65001 fullwidth quote", CP_UTF8, kFullwidthQuote, "ed2k:a\xEF\xBC\x82"},
    {"65001 percent", CP_UTF8, kPercent, "ed2k:100%25%"},
    {"65001 unpaired high", CP_UTF8, kUnpairedHigh, nullptr},
    {"65001 unpaired low", CP_UTF8, kUnpairedLow, nullptr},
};

class RunCodePageTest : public RunTest, public ::testing::WithParamInterface<CodePageLinkCase> {};

TEST_P(RunCodePageTest, CarriesEveryCharacter) {
  const CodePageLinkCase& c = GetParam();
  ScopedSystemCodePage system(c.codePage);
  EXPECT_EQ(c.shellReceives ? S_OK : E_INVALIDARG, Run(c.link));
  if (!c.shellReceives) {
    EXPECT_TRUE(g_shellCalls.empty());
    return;
  }
  ASSERT_EQ(1u, g_shellCalls.size());
  EXPECT_EQ(c.shellReceives, g_shellCalls[0].file);
}

INSTANTIATE_TEST_SUITE_P(CodePages, RunCodePageTest, ::testing::ValuesIn(kCodePageLinkCases),
                         CaseName());

// A UTF-8 link of three bytes a character needs more scratch than two bytes
// a unit; escapes need up to nine bytes a unit. Both go whole, on the heap.
TEST_F(RunTest, LongLinksOfWideCharactersGoWhole) {
  const std::wstring cjk = L"ed2k:" + std::wstring(100000, L'\x6587');
  {
    ScopedSystemCodePage system(CP_UTF8);
    EXPECT_EQ(S_OK, Run(cjk));
  }
  {
    ScopedSystemCodePage system(1252);
    EXPECT_EQ(S_OK, Run(cjk));
  }
  ASSERT_EQ(2u, g_shellCalls.size());
  EXPECT_EQ(5 + 3 * 100000u, g_shellCalls[0].file.size());
  EXPECT_EQ(5 + 9 * 100000u, g_shellCalls[1].file.size());
  EXPECT_EQ("%E6%96%87", g_shellCalls[1].file.substr(g_shellCalls[1].file.size() - 9));
}

TEST_F(RunTest, NullLinkIsAPointerError) {
  EXPECT_EQ(E_POINTER, agent_.Run(nullptr));
  EXPECT_TRUE(g_shellCalls.empty());
}

struct ShellAnswerCase {
  INT_PTR answer;
  HRESULT expected;
};

class RunShellAnswerTest : public RunTest, public ::testing::WithParamInterface<ShellAnswerCase> {
};

TEST_P(RunShellAnswerTest, MapsTheShellsAnswer) {
  g_shellAnswer = GetParam().answer;
  EXPECT_EQ(GetParam().expected, Run(L"ed2k:x"));
}

INSTANTIATE_TEST_SUITE_P(Answers, RunShellAnswerTest,
                         ::testing::Values(ShellAnswerCase{33, S_OK},
                                           ShellAnswerCase{42, S_OK},
                                           ShellAnswerCase{0, E_FAIL},
                                           ShellAnswerCase{1, HRESULT(0x80070001)},
                                           ShellAnswerCase{2, HRESULT(0x80070002)},
                                           ShellAnswerCase{31, HRESULT(0x8007001F)},
                                           ShellAnswerCase{32, HRESULT(0x80070020)},
                                           ShellAnswerCase{-5, HRESULT(-5)}));

TEST_F(RunTest, LinkOfSeveralMegabytesGoesWholeWithoutExhaustingTheStack) {
  std::wstring link = L"ed2k:";
  link.append(8 * 1024 * 1024, L'a');
  EXPECT_EQ(S_OK, Run(link));
  ASSERT_EQ(1u, g_shellCalls.size());
  EXPECT_EQ(link.size(), g_shellCalls[0].file.size());
}

TEST_F(RunTest, ResultDoesNotDependOnEarlierCallsOrTheObject) {
  BareAgent other;
  BSTR refused = ::SysAllocString(L"http://x");
  BSTR accepted = ::SysAllocString(L"ed2k:x");
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(E_INVALIDARG, agent_.Run(refused));
    EXPECT_EQ(S_OK, other.Run(accepted));
    EXPECT_EQ(S_OK, agent_.Run(accepted));
  }
  ::SysFreeString(refused);
  ::SysFreeString(accepted);
  EXPECT_EQ(6u, g_shellCalls.size());
}

TEST_F(RunTest, NoHeapForTheLinkMeansOutOfMemoryAndNoShellCall) {
  platform_->HeapAllocate = [](size_t) -> void* { return nullptr; };
  std::wstring link = L"ed2k:";
  link.append(4096, L'a');  // past the stack scratch
  EXPECT_EQ(E_OUTOFMEMORY, Run(link));
  // Converted on the stack, but escaped past it.
  ScopedSystemCodePage system(1252);
  EXPECT_EQ(E_OUTOFMEMORY, Run(L"ed2k:" + std::wstring(200, L'\x0424')));
  EXPECT_TRUE(g_shellCalls.empty());
}

}  // namespace
