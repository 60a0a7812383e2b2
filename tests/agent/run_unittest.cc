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
    {"fullwidth quote inside is no quote", L"ed2k:a\xFF02", S_OK, "ed2k:a?"},
    {"unpaired high surrogate", L"ed2k:\xD800x", S_OK, "ed2k:?x"},
    {"unpaired low surrogate", L"ed2k:x\xDC00", S_OK, "ed2k:x?"},
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
  EXPECT_TRUE(g_shellCalls.empty());
}

}  // namespace
