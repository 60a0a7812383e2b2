// The conversion helpers: the code page choice, null-on-failure conversions,
// where scratch lives, and the inline buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "server/convert.h"
#include "server/errors.h"
#include "support/platform_override.h"

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
  size_t characters;
  int heapBlocks;
};

class ScratchPlaceTest : public ConvertTest, public ::testing::WithParamInterface<ScratchCase> {};

TEST_P(ScratchPlaceTest, UpTo1024BytesOnTheStackBeyondOnTheHeap) {
  {
    ConversionScratch scratch;
    const size_t bytes = ScratchBytes(GetParam().characters);
    void* area = ALLOCATE_SCRATCH(scratch, bytes);
    ASSERT_NE(nullptr, area);
    memset(area, 0x5A, bytes);
    EXPECT_EQ(GetParam().heapBlocks, g_heapAllocations);
  }
  EXPECT_EQ(g_heapAllocations, g_heapReleases);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ScratchPlaceTest,
                         ::testing::Values(ScratchCase{0, 0}, ScratchCase{511, 0},
                                           ScratchCase{512, 1}, ScratchCase{100000, 1}));

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
  EXPECT_EQ(nullptr, ALLOCATE_SCRATCH(scratch, ScratchBytes(512)));
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

// Locale answers for ThreadLocaleAnsiCodePage.
const char* g_localeText = nullptr;

int WINAPI FakeLocaleInfo(LCID, LCTYPE type, LPSTR data, int size) {
  EXPECT_EQ(static_cast<LCTYPE>(LOCALE_IDEFAULTANSICODEPAGE), type);
  EXPECT_EQ(7, size);
  if (!g_localeText) return 0;
  strcpy(data, g_localeText);
  return static_cast<int>(strlen(g_localeText) + 1);
}

struct LocaleCase {
  const char* text;  // null: the query fails
  UINT expected;     // 0: GetACP()
};

class ThreadLocaleTest : public ::testing::TestWithParam<LocaleCase> {
 protected:
  ScopedPlatformCalls platform_;
};

TEST_P(ThreadLocaleTest, ReadsTheLocalesAnsiCodePage) {
  platform_->GetLocaleInfoA = FakeLocaleInfo;
  g_localeText = GetParam().text;
  const UINT expected = GetParam().expected ? GetParam().expected : ::GetACP();
  EXPECT_EQ(expected, ThreadLocaleAnsiCodePage());
}

INSTANTIATE_TEST_SUITE_P(Answers, ThreadLocaleTest,
                         ::testing::Values(LocaleCase{"1252", 1252}, LocaleCase{"932", 932},
                                           LocaleCase{"0", 0}, LocaleCase{"", 0},
                                           LocaleCase{nullptr, 0}));

TEST(ThreadLocaleRealTest, AgreesWithThePlatformForThisThread) {
  char text[8] = {};
  ASSERT_NE(0, ::GetLocaleInfoA(::GetThreadLocale(), LOCALE_IDEFAULTANSICODEPAGE, text, 7));
  const UINT number = static_cast<UINT>(atoi(text));
  EXPECT_EQ(number ? number : ::GetACP(), ThreadLocaleAnsiCodePage());
}

// Versions for ChooseConversionCodePage.
DWORD g_platformId = 0;
DWORD g_majorVersion = 0;

BOOL WINAPI FakeVersion(LPOSVERSIONINFOA info) {
  EXPECT_EQ(148u, info->dwOSVersionInfoSize);
  info->dwPlatformId = g_platformId;
  info->dwMajorVersion = g_majorVersion;
  return TRUE;
}

struct ChoiceCase {
  DWORD platformId;
  DWORD majorVersion;
  bool threadAnsi;  // the final function answers CP_THREAD_ACP
};

class CodePageChoiceTest : public ::testing::TestWithParam<ChoiceCase> {
 protected:
  void SetUp() override { saved_ = GetConversionCodePage; }
  void TearDown() override { GetConversionCodePage = saved_; }
  ScopedPlatformCalls platform_;
  CodePageFunction saved_;
};

TEST_P(CodePageChoiceTest, FirstCallChoosesOnceForTheProcess) {
  platform_->GetVersionExA = FakeVersion;
  g_platformId = GetParam().platformId;
  g_majorVersion = GetParam().majorVersion;
  GetConversionCodePage = ChooseConversionCodePage;

  const UINT first = GetConversionCodePage();
  const CodePageFunction chosen = GetConversionCodePage;
  EXPECT_NE(ChooseConversionCodePage, chosen);
  if (GetParam().threadAnsi) {
    EXPECT_EQ(static_cast<UINT>(CP_THREAD_ACP), first);
  } else {
    EXPECT_EQ(ThreadLocaleAnsiCodePage, chosen);
    EXPECT_EQ(ThreadLocaleAnsiCodePage(), first);
  }
  // The platform is not asked again.
  g_platformId = GetParam().threadAnsi ? VER_PLATFORM_WIN32_WINDOWS : VER_PLATFORM_WIN32_NT;
  g_majorVersion = GetParam().threadAnsi ? 4 : 10;
  EXPECT_EQ(first, GetConversionCodePage());
  EXPECT_EQ(chosen, GetConversionCodePage);
}

INSTANTIATE_TEST_SUITE_P(Systems, CodePageChoiceTest,
                         ::testing::Values(ChoiceCase{VER_PLATFORM_WIN32_NT, 5, true},
                                           ChoiceCase{VER_PLATFORM_WIN32_NT, 10, true},
                                           ChoiceCase{VER_PLATFORM_WIN32_NT, 4, false},
                                           ChoiceCase{VER_PLATFORM_WIN32_WINDOWS, 5, false}));

}  // namespace
