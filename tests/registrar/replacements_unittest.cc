// Replacement variables: filling the map through the registrar, and the
// expansion of %NAME% references with its limits and failures.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "registrar/registrar.h"
#include "registrar/script_parser.h"
#include "support/case_name.h"
#include "support/platform_override.h"

namespace {

// A registrar with the variables most cases use.
class ExpandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(S_OK, registrar_.SetReplacement(L"Module", L"C:\\it''s\\Brisvel.DLL"));
    ASSERT_EQ(S_OK, registrar_.SetReplacement(L"APPID", L"{first}"));
    ASSERT_EQ(S_OK, registrar_.SetReplacement(L"appid", L"{second}"));
    ASSERT_EQ(S_OK, registrar_.SetReplacement(L"with space", L"spaced"));
    ASSERT_EQ(S_OK, registrar_.SetReplacement(std::wstring(31, L'n').c_str(), L"thirty-one"));
    ASSERT_EQ(S_OK, registrar_.SetReplacement(std::wstring(32, L'n').c_str(), L"thirty-two"));
    ASSERT_EQ(S_OK, registrar_.SetReplacement(L"empty", L""));
  }

  // The expansion of `text`, or "!" and the failure's code.
  std::string Expand(const char* text) {
    CScriptParser parser(&registrar_);
    char* out = reinterpret_cast<char*>(1);
    const HRESULT result = parser.ExpandVariables(text, &out);
    if (FAILED(result)) {
      EXPECT_EQ(nullptr, out) << "a failed expansion hands out nothing";
      return "!" + std::to_string(result);
    }
    std::string expanded(out);
    g_platform.CoTaskMemFree(out);
    return expanded;
  }

  CRegistrar registrar_;
};

struct ExpandCase {
  const char* name;
  std::string text;
  std::string expanded;
};

const std::string kNoVariable = "!" + std::to_string(DISP_E_EXCEPTION);
const std::string kNameTooLong = "!" + std::to_string(E_FAIL);

const ExpandCase kExpandCases[] = {
    {"doubled sign", "100%%", "100%"},
    {"two doubled signs", "%%%%", "%%"},
    {"lone sign at the end", "100%", kNoVariable},
    {"unknown name", "%NOPE%", kNoVariable},
    {"unclosed name", "a %Module b", kNoVariable},
    {"name in three cases", "%module% %Module% %MODULE%",
     "C:\\it''s\\Brisvel.DLL C:\\it''s\\Brisvel.DLL C:\\it''s\\Brisvel.DLL"},
    {"first added wins", "%APPID%", "{first}"},
    {"name with a space", "[%with space%]", "[spaced]"},
    {"31-byte name", "%" + std::string(31, 'n') + "%", "thirty-one"},
    {"32-byte name", "%" + std::string(32, 'n') + "%", kNameTooLong},
    {"long unknown name", "%" + std::string(200, 'x') + "%", kNameTooLong},
    {"empty value", "a%empty%b", "ab"},
    {"empty name", "%%x%", kNoVariable},
    {"no sign at all", "HKCR { 'it''s' = s 'x' }", "HKCR { 'it''s' = s 'x' }"},
    {"empty text", "", ""},
    {"inside and outside quotes", "'%APPID%' %APPID%", "'{first}' {first}"},
    {"sign after a variable", "%APPID%%%", "{first}%"},
};

class ExpandCaseTest : public ExpandTest, public ::testing::WithParamInterface<ExpandCase> {};

TEST_P(ExpandCaseTest, ReplacesEveryVariable) {
  EXPECT_EQ(GetParam().expanded, Expand(GetParam().text.c_str()));
}

INSTANTIATE_TEST_SUITE_P(Texts, ExpandCaseTest, ::testing::ValuesIn(kExpandCases), CaseName());

TEST_F(ExpandTest, NullTextOrOutputIsAPointerError) {
  CScriptParser parser(&registrar_);
  char* out = reinterpret_cast<char*>(1);
  EXPECT_EQ(E_POINTER, parser.ExpandVariables(nullptr, &out));
  EXPECT_EQ(E_POINTER, parser.ExpandVariables("x", nullptr));
}

TEST_F(ExpandTest, GrowsPastTheFirstCapacityAsOftenAsNeeded) {
  const std::wstring big(5000, L'v');
  ASSERT_EQ(S_OK, registrar_.SetReplacement(L"BIG", big.c_str()));
  std::string expected;
  std::string text;
  for (int i = 0; i < 5; ++i) {
    text += "<%BIG%>";
    expected += "<" + std::string(big.begin(), big.end()) + ">";
  }
  EXPECT_EQ(expected, Expand(text.c_str()));
}

// The sizes the expansion asks of the task allocator.
std::vector<SIZE_T> g_taskSizes;
int g_taskCallsLeft = -1;  // calls before every further one fails; -1: none fails

LPVOID WINAPI RecordingTaskAlloc(SIZE_T bytes) {
  g_taskSizes.push_back(bytes);
  if (g_taskCallsLeft == 0) return nullptr;
  if (g_taskCallsLeft > 0) --g_taskCallsLeft;
  return DefaultPlatformCalls().CoTaskMemAlloc(bytes);
}

LPVOID WINAPI RecordingTaskRealloc(LPVOID block, SIZE_T bytes) {
  g_taskSizes.push_back(bytes);
  if (g_taskCallsLeft == 0) return nullptr;
  if (g_taskCallsLeft > 0) --g_taskCallsLeft;
  return DefaultPlatformCalls().CoTaskMemRealloc(block, bytes);
}

class ExpandMemoryTest : public ExpandTest {
 protected:
  void SetUp() override {
    ExpandTest::SetUp();
    g_taskSizes.clear();
    g_taskCallsLeft = -1;
    platform_->CoTaskMemAlloc = RecordingTaskAlloc;
    platform_->CoTaskMemRealloc = RecordingTaskRealloc;
  }
  ScopedPlatformCalls platform_;
};

TEST_F(ExpandMemoryTest, StartsAtTwiceTheTextOrAThousandBytesForShortTexts) {
  const struct {
    size_t length;
    SIZE_T capacity;
  } cases[] = {{0, 1000}, {49, 1000}, {50, 100}, {119, 238}, {637, 1274}};
  for (const auto& c : cases) {
    g_taskSizes.clear();
    EXPECT_EQ(std::string(c.length, 'a'), Expand(std::string(c.length, 'a').c_str()));
    EXPECT_EQ(std::vector<SIZE_T>{c.capacity}, g_taskSizes) << c.length;
  }
}

TEST_F(ExpandMemoryTest, DoublesTheCapacityUntilTheAppendFits) {
  ASSERT_EQ(S_OK, registrar_.SetReplacement(L"BIG", std::wstring(3000, L'v').c_str()));
  EXPECT_EQ(std::string(3000, 'v'), Expand("%BIG%"));
  EXPECT_EQ((std::vector<SIZE_T>{1000, 4000}), g_taskSizes);
}

TEST_F(ExpandMemoryTest, NoTaskMemoryIsOutOfMemory) {
  ASSERT_EQ(S_OK, registrar_.SetReplacement(L"BIG", std::wstring(3000, L'v').c_str()));
  g_taskCallsLeft = 0;
  EXPECT_EQ("!" + std::to_string(E_OUTOFMEMORY), Expand("x"));
  g_taskCallsLeft = 1;  // the start succeeds, the growth fails
  EXPECT_EQ("!" + std::to_string(E_OUTOFMEMORY), Expand("%BIG%"));
}

TEST(SetReplacementTest, RefusesNullArgumentsAndLeavesTheMapAlone) {
  CRegistrar registrar;
  EXPECT_EQ(E_INVALIDARG, registrar.SetReplacement(nullptr, L"v"));
  EXPECT_EQ(E_INVALIDARG, registrar.SetReplacement(L"n", nullptr));
  EXPECT_EQ(0, registrar.replacements.count);
  EXPECT_EQ(S_OK, registrar.SetReplacement(L"n", L"v"));
  EXPECT_EQ(1, registrar.replacements.count);
}

TEST(SetReplacementTest, KeepsBothPairsOfANameAddedTwice) {
  CRegistrar registrar;
  ASSERT_EQ(S_OK, registrar.SetReplacement(L"APPID", L"one"));
  ASSERT_EQ(S_OK, registrar.SetReplacement(L"APPID", L"two"));
  EXPECT_EQ(2, registrar.replacements.count);
  EXPECT_STREQ(L"one", registrar.replacements.FindValue("appid"));
  EXPECT_EQ(S_OK, registrar.ResetReplacements());
  EXPECT_EQ(0, registrar.replacements.count);
  EXPECT_EQ(nullptr, registrar.replacements.FindValue("APPID"));
}

// Live heap blocks, and the number of allocations left before each fails.
std::vector<void*> g_liveBlocks;
int g_heapCallsLeft = -1;

void* CountingHeapAllocate(size_t bytes) {
  if (g_heapCallsLeft == 0) return nullptr;
  if (g_heapCallsLeft > 0) --g_heapCallsLeft;
  void* block = DefaultPlatformCalls().HeapAllocate(bytes);
  g_liveBlocks.push_back(block);
  return block;
}

void* CountingHeapReallocate(void* block, size_t bytes) {
  if (g_heapCallsLeft == 0) return nullptr;
  if (g_heapCallsLeft > 0) --g_heapCallsLeft;
  void* moved = DefaultPlatformCalls().HeapReallocate(block, bytes);
  if (block) g_liveBlocks.erase(std::find(g_liveBlocks.begin(), g_liveBlocks.end(), block));
  g_liveBlocks.push_back(moved);
  return moved;
}

void CountingHeapRelease(void* block) {
  if (!block) return;
  auto found = std::find(g_liveBlocks.begin(), g_liveBlocks.end(), block);
  ASSERT_NE(g_liveBlocks.end(), found) << "a block freed twice or never allocated";
  g_liveBlocks.erase(found);
  DefaultPlatformCalls().HeapRelease(block);
}

TEST(SetReplacementTest, EachFailedAllocationLeavesTheMapAsItWasAndLeaksNothing) {
  ScopedPlatformCalls platform;
  platform->HeapAllocate = CountingHeapAllocate;
  platform->HeapReallocate = CountingHeapReallocate;
  platform->HeapRelease = CountingHeapRelease;
  // Two copies and two arrays: each of the four may be refused.
  for (int fail = 0; fail < 4; ++fail) {
    g_liveBlocks.clear();
    {
      CRegistrar registrar;
      g_heapCallsLeft = -1;
      ASSERT_EQ(S_OK, registrar.SetReplacement(L"first", L"1"));
      g_heapCallsLeft = fail;
      EXPECT_EQ(E_OUTOFMEMORY, registrar.SetReplacement(L"second", L"2")) << fail;
      g_heapCallsLeft = -1;
      EXPECT_EQ(1, registrar.replacements.count);
      EXPECT_STREQ(L"1", registrar.replacements.FindValue("first"));
      EXPECT_EQ(nullptr, registrar.replacements.FindValue("second"));
      ASSERT_EQ(S_OK, registrar.SetReplacement(L"third", L"3"));
      EXPECT_STREQ(L"3", registrar.replacements.FindValue("third"));
    }
    EXPECT_TRUE(g_liveBlocks.empty()) << "after refusing allocation " << fail;
  }
}

TEST(SetReplacementTest, ANameThatCannotBeConvertedIsOutOfMemory) {
  ScopedPlatformCalls platform;
  platform->WideCharToMultiByte = [](UINT, DWORD, LPCWCH, int, LPSTR, int, LPCCH,
                                     LPBOOL) WINAPI -> int { return 0; };
  CRegistrar registrar;
  EXPECT_EQ(E_OUTOFMEMORY, registrar.SetReplacement(L"name", L"value"));
  EXPECT_EQ(0, registrar.replacements.count);
}

TEST(RegistrarTest, CountsNothingAndAnswersNoInterface) {
  CRegistrar registrar;
  IUnknown* unknown = &registrar;
  void* object = &registrar;
  EXPECT_EQ(E_NOTIMPL, unknown->QueryInterface(IID_IUnknown, &object));
  EXPECT_EQ(nullptr, object);
  EXPECT_EQ(1u, unknown->AddRef());
  EXPECT_EQ(1u, unknown->AddRef());
  EXPECT_EQ(0u, unknown->Release());
  EXPECT_EQ(0u, unknown->Release());
  EXPECT_EQ(0u, unknown->Release());
}

}  // namespace
