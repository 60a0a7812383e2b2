// The conversion helpers: the code page choice, null-on-failure conversions,
// where scratch lives, and the inline buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "server/convert.h"
#include "server/errors.h"
#include "support/case_name.h"
#include "support/platform_override.h"
#include "support/process.h"
#include "support/system_code_page.h"

namespace {

int g_heapAllocations = 0;
int g_heapReleases = 0;
int g_systemConversions = 0;

void* CountingAllocate(size_t bytes) {
  ++g_heapAllocations;
  return DefaultPlatformCalls().HeapAllocate(bytes);
}
void CountingRelease(void* block) {
  if (block) ++g_heapReleases;
  DefaultPlatformCalls().HeapRelease(block);
}
void* RefusingAllocate(size_t) { return nullptr; }

int WINAPI CountingWideToNarrow(UINT page, DWORD flags, LPCWCH wide, int length, LPSTR narrow,
                                int size, LPCCH fallback, LPBOOL used) {
  ++g_systemConversions;
  return DefaultPlatformCalls().WideCharToMultiByte(page, flags, wide, length, narrow, size,
                                                    fallback, used);
}
int WINAPI CountingNarrowToWide(UINT page, DWORD flags, LPCCH narrow, int length, LPWSTR wide,
                                int size) {
  ++g_systemConversions;
  return DefaultPlatformCalls().MultiByteToWideChar(page, flags, narrow, length, wide, size);
}

class ConvertTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_heapAllocations = g_heapReleases = g_systemConversions = 0;
    platform_->HeapAllocate = CountingAllocate;
    platform_->HeapRelease = CountingRelease;
    platform_->WideCharToMultiByte = CountingWideToNarrow;
    platform_->MultiByteToWideChar = CountingNarrowToWide;
  }
  ScopedPlatformCalls platform_;
};

TEST_F(ConvertTest, EmptyTextConvertsToEmptyTextNotNull) {
  char narrow[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(narrow, WideToMultiByte(narrow, L"", sizeof narrow, CP_ACP));
  EXPECT_EQ('\0', narrow[0]);
  wchar_t wide[4] = {L'x', L'x', L'x', L'x'};
  EXPECT_EQ(wide, MultiByteToWide(wide, "", 4, CP_ACP));
  EXPECT_EQ(L'\0', wide[0]);
}

TEST_F(ConvertTest, NullArgumentsGiveNullWithoutCallingTheSystem) {
  char narrow[4];
  wchar_t wide[4];
  EXPECT_EQ(nullptr, WideToMultiByte(nullptr, L"a", 4, CP_ACP));
  EXPECT_EQ(nullptr, WideToMultiByte(narrow, nullptr, 4, CP_ACP));
  EXPECT_EQ(nullptr, MultiByteToWide(nullptr, "a", 4, CP_ACP));
  EXPECT_EQ(nullptr, MultiByteToWide(wide, nullptr, 4, CP_ACP));
  EXPECT_EQ(0, g_systemConversions);
}

TEST_F(ConvertTest, TooSmallADestinationGivesNull) {
  char narrow[3];
  EXPECT_EQ(nullptr, WideToMultiByte(narrow, L"abc", sizeof narrow, CP_ACP));
  wchar_t wide[3];
  EXPECT_EQ(nullptr, MultiByteToWide(wide, "abc", 3, CP_ACP));
}

TEST_F(ConvertTest, RoundTripsThroughTheConversionCodePage) {
  const UINT page = GetConversionCodePage();
  char narrow[32];
  ASSERT_NE(nullptr, WideToMultiByte(narrow, L"C:\\it's\\Brisvel.DLL", sizeof narrow, page));
  EXPECT_STREQ("C:\\it's\\Brisvel.DLL", narrow);
  wchar_t wide[32];
  ASSERT_NE(nullptr, MultiByteToWide(wide, narrow, 32, page));
  EXPECT_STREQ(L"C:\\it's\\Brisvel.DLL", wide);
}

struct ScratchCase {
  size_t bytes;
  int heapBlocks;
};

class ScratchPlaceTest : public ConvertTest, public ::testing::WithParamInterface<ScratchCase> {};

TEST_P(ScratchPlaceTest, UpTo1024BytesOnTheStackBeyondOnTheHeap) {
  {
    ConversionScratch scratch;
    const size_t bytes = GetParam().bytes;
    void* area = ALLOCATE_SCRATCH(scratch, bytes);
    ASSERT_NE(nullptr, area);
    memset(area, 0x5A, bytes);
    EXPECT_EQ(GetParam().heapBlocks, g_heapAllocations);
  }
  EXPECT_EQ(g_heapAllocations, g_heapReleases);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ScratchPlaceTest,
                         ::testing::Values(ScratchCase{1, 0}, ScratchCase{1024, 0},
                                           ScratchCase{1025, 1}, ScratchCase{200000, 1}));

TEST_F(ConvertTest, ScratchChainFreesEveryBlockOfTheScope) {
  {
    ConversionScratch scratch;
    for (int i = 0; i < 3; ++i) ASSERT_NE(nullptr, scratch.AllocateHeap(5000));
  }
  EXPECT_EQ(3, g_heapAllocations);
  EXPECT_EQ(3, g_heapReleases);
}

TEST_F(ConvertTest, ScratchWithoutHeapIsNull) {
  platform_->HeapAllocate = RefusingAllocate;
  ConversionScratch scratch;
  EXPECT_EQ(nullptr, ALLOCATE_SCRATCH(scratch, 1025));
}

// Takes 2 KiB of stack a frame for as long as the probe allows it; answers
// the depth reached. Were the probe wrong, the thread would overflow its
// stack and the process would die.
int DescendWhileTheProbeAllows(int depth) {
  if (!CanGrowStack(1024)) return depth;
  volatile char frame[2048];
  frame[0] = static_cast<char>(depth);
  const int deepest = DescendWhileTheProbeAllows(depth + 1);
  // Reading the frame after the call keeps every frame on the stack.
  return frame[0] == static_cast<char>(depth) ? deepest : -1;
}

DWORD WINAPI DescendOnSmallStack(void* depth) {
  *static_cast<int*>(depth) = DescendWhileTheProbeAllows(0);
  // The thread stays usable after the refusal.
  return CanGrowStack(16) ? 1 : 0;
}

TEST(CanGrowStackTest, AnswersWhetherTheRequestAndItsMarginFit) {
  EXPECT_TRUE(CanGrowStack(1024));
  EXPECT_TRUE(CanGrowStack(0));
  EXPECT_FALSE(CanGrowStack(size_t{1} << 30));
}

TEST(CanGrowStackTest, RefusesBeforeTheStackRunsOut) {
  int depth = -1;
  HANDLE thread = ::CreateThread(nullptr, 256 * 1024, DescendOnSmallStack, &depth,
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  ASSERT_NE(nullptr, thread);
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(thread, 10000));
  DWORD code = 0;
  ::GetExitCodeThread(thread, &code);
  ::CloseHandle(thread);
  EXPECT_GT(depth, 50) << "most of the stack is usable";
  EXPECT_EQ(1u, code);
}

TEST_F(ConvertTest, InlineBufferMovesToTheHeapOnlyBeyondItsCapacity) {
  {
    CInlineBuffer<256> buffer;
    char* inlineStorage = buffer.Allocate(256);
    EXPECT_EQ(0, g_heapAllocations);
    char* heapStorage = buffer.Allocate(257);
    EXPECT_NE(inlineStorage, heapStorage);
    EXPECT_EQ(1, g_heapAllocations);
    memset(heapStorage, 1, 257);
  }
  EXPECT_EQ(1, g_heapReleases);
}

TEST_F(ConvertTest, InlineBufferWithoutHeapThrowsOutOfMemory) {
  platform_->HeapAllocate = RefusingAllocate;
  CInlineBuffer<1024> buffer;
  EXPECT_NE(nullptr, buffer.Allocate(1024));
  try {
    buffer.Allocate(1025);
    FAIL() << "no exception";
  } catch (const CResultException& e) {
    EXPECT_EQ(E_OUTOFMEMORY, e.Result());
  }
}

// Narrowing for the ANSI calls: what one helper gives for a text in a code
// page, and where its scratch went. UTF-8 texts of three bytes a character
// need more than two bytes a unit.
struct NarrowCase {
  const char* name;
  UINT codePage;
  std::wstring text;
  std::string expected;
  bool lossy;
  int heapBlocks;
};

std::wstring Repeated(const wchar_t* piece, size_t times) {
  std::wstring text;
  for (size_t i = 0; i < times; ++i) text += piece;
  return text;
}

std::string Repeated(const char* piece, size_t times) {
  std::string text;
  for (size_t i = 0; i < times; ++i) text += piece;
  return text;
}

const NarrowCase kNarrowCases[] = {
    {"ascii", 1252, L"C:\\it's\\Brisvel.DLL", "C:\\it's\\Brisvel.DLL", false, 0},
    {"letter of 1252", 1252, L"caf\x00E9", "caf\xE9", false, 0},
    {"cyrillic in 1252", 1252, L"\x0424", "?", true, 0},
    {"no best fit in 1252", 1252, L"\xFF02\x0100", "??", true, 0},
    {"cjk in 932", 932, L"\x6587\x4EF6", "\x95\xB6\x8C\x8F", false, 0},
    {"accent in 932", 932, L"\x00E9", "?", true, 0},
    {"cjk in utf8", CP_UTF8, L"\x6587", "\xE6\x96\x87", false, 0},
    {"emoji in utf8", CP_UTF8, L"\xD83D\xDE00", "\xF0\x9F\x98\x80", false, 0},
    {"341 cjk fill the stack scratch", CP_UTF8, Repeated(L"\x6587", 341),
     Repeated("\xE6\x96\x87", 341), false, 0},
    {"342 cjk go to the heap", CP_UTF8, Repeated(L"\x6587", 342), Repeated("\xE6\x96\x87", 342),
     false, 1},
    {"1023 letters fill the stack scratch", 1252, std::wstring(1023, L'a'),
     std::string(1023, 'a'), false, 0},
    {"1024 letters go to the heap", 1252, std::wstring(1024, L'a'), std::string(1024, 'a'),
     false, 1},
};

class NarrowTextTest : public ConvertTest, public ::testing::WithParamInterface<NarrowCase> {
 protected:
  void SetUp() override {
    ConvertTest::SetUp();
    // Conversions into UTF-8 refuse best-fit flags as Windows does.
    platform_->WideCharToMultiByte = NarrowAsWindows;
  }
};

TEST_P(NarrowTextTest, SizedByThePlatformForTheCodePage) {
  const NarrowCase& c = GetParam();
  {
    ConversionScratch scratch;
    bool lossy = !c.lossy;
    const char* text = NARROW_TEXT(scratch, c.text.c_str(), c.codePage, &lossy);
    ASSERT_NE(nullptr, text);
    EXPECT_EQ(c.expected, text);
    EXPECT_EQ(c.lossy, lossy);
    EXPECT_EQ(c.heapBlocks, g_heapAllocations);
  }
  EXPECT_EQ(g_heapAllocations, g_heapReleases);
}

INSTANTIATE_TEST_SUITE_P(Texts, NarrowTextTest, ::testing::ValuesIn(kNarrowCases), CaseName());

TEST_F(ConvertTest, WidenedTextIsSizedByThePlatform) {
  const std::string utf8 = Repeated("\xF0\x9F\x98\x80", 300);  // 600 units, 1202 bytes
  ConversionScratch scratch;
  const wchar_t* wide = WIDEN_TEXT(scratch, utf8.c_str(), CP_UTF8);
  ASSERT_NE(nullptr, wide);
  EXPECT_EQ(Repeated(L"\xD83D\xDE00", 300), wide);
  EXPECT_EQ(1, g_heapAllocations);
}

TEST_F(ConvertTest, NullTextNarrowsAndWidensToNullWithoutCallingTheSystem) {
  ConversionScratch scratch;
  bool lossy = true;
  EXPECT_EQ(nullptr, NARROW_TEXT(scratch, static_cast<const wchar_t*>(nullptr), 1252, &lossy));
  EXPECT_FALSE(lossy);
  EXPECT_EQ(nullptr, WIDEN_TEXT(scratch, static_cast<const char*>(nullptr), 1252));
  EXPECT_EQ(0, g_systemConversions);
}

// Sizes the platform might answer that no scratch may be taken for.
int g_countAnswer = 0;
int WINAPI CountOnlyNarrow(UINT, DWORD, LPCWCH, int, LPSTR narrow, int size, LPCCH, LPBOOL) {
  return narrow || size ? 0 : g_countAnswer;
}
int WINAPI CountOnlyWiden(UINT, DWORD, LPCCH, int, LPWSTR wide, int size) {
  return wide || size ? 0 : g_countAnswer;
}

TEST_F(ConvertTest, SizesPastTheLimitOrRefusedTakeNoScratch) {
  platform_->WideCharToMultiByte = CountOnlyNarrow;
  platform_->MultiByteToWideChar = CountOnlyWiden;
  for (int answer : {0, -1, 0x40000000}) {
    SCOPED_TRACE(answer);
    g_countAnswer = answer;
    ConversionScratch scratch;
    // A wide character is two bytes, or four natively: 0x40000000 of them
    // pass the limit even where size_t would hold them.
    EXPECT_EQ(nullptr, WIDEN_TEXT(scratch, "a", 1252));
    if (answer != 0x40000000) {
      EXPECT_EQ(nullptr, NARROW_TEXT(scratch, L"a", 1252, nullptr));
    }
  }
  EXPECT_EQ(0, g_heapAllocations);
}

struct FlagsCase {
  UINT codePage;
  DWORD flags;
};

TEST(NarrowingFlagsTest, NoBestFitWhereTheCodePageTakesTheFlag) {
  for (const FlagsCase& c : {FlagsCase{1252, WC_NO_BEST_FIT_CHARS},
                             FlagsCase{932, WC_NO_BEST_FIT_CHARS}, FlagsCase{CP_UTF8, 0},
                             FlagsCase{CP_UTF7, 0}}) {
    EXPECT_EQ(c.flags, NarrowingFlags(c.codePage)) << c.codePage;
  }
}

class CodePageChoiceTest : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = GetConversionCodePage; }
  void TearDown() override { GetConversionCodePage = saved_; }
  CodePageFunction saved_;
};

TEST_F(CodePageChoiceTest, FirstCallChoosesTheSystemsAnsiCodePageForGood) {
  ScopedSystemCodePage system(932);
  GetConversionCodePage = ChooseConversionCodePage;
  EXPECT_EQ(932u, GetConversionCodePage());
  EXPECT_EQ(SystemAnsiCodePage, GetConversionCodePage);
  EXPECT_EQ(932u, GetConversionCodePage());
}

// What a thread of `locale` narrows a text of the system's code page to.
struct ThreadNarrowing {
  LCID locale;
  std::string text;
};

const wchar_t kMixedText[] = L"caf\x00E9 \x0424 \x6587";

DWORD WINAPI NarrowOnThread(void* argument) {
  auto* job = static_cast<ThreadNarrowing*>(argument);
  ::SetThreadLocale(job->locale);
  ConversionScratch scratch;
  const char* text = NARROW_TEXT(scratch, kMixedText, GetConversionCodePage(), nullptr);
  job->text = text ? text : "(null)";
  return 0;
}

// A thread's locale is its user's format settings; the ANSI calls read bytes
// in the system's code page whatever it is, so every thread narrows alike.
TEST(ConversionCodePageTest, IsTheSystemsWhateverTheThreadsLocale) {
  char expected[32];
  ASSERT_NE(0, ::WideCharToMultiByte(::GetACP(), WC_NO_BEST_FIT_CHARS, kMixedText, -1, expected,
                                     sizeof expected, nullptr, nullptr));
  for (LCID locale : {LCID{0x0411}, LCID{0x0419}, LCID{0x0409}}) {
    ThreadNarrowing job = {locale, ""};
    ASSERT_EQ(0u, RunThreadToEnd(NarrowOnThread, &job, 10000));
    EXPECT_EQ(expected, job.text) << std::hex << locale;
  }
}

}  // namespace
