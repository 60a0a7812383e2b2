// Run under attack: a large generated set of hostile links (random UTF-16
// with NULs and surrogates, look-alikes of the prefix, quotes, percent and
// backslash sequences, texts of tens of megabytes) sent through the vtable
// and through Invoke of a library-made Agent. Only links with an accepted
// prefix reach the shell, each exactly as the test's own conversion of it;
// everything else ends with its code; the library keeps no block, and the
// process's memory stays flat over many rounds.
#include <gtest/gtest.h>
#include <windows.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "agent/agent.h"
#include "agent/type_info_holder.h"
#include "server/instance.h"
#include "support/fault_injection.h"
#include "support/module_lifetime.h"
#include "support/platform_override.h"
#include "support/recording_shell.h"
#include "support/registry_override.h"
#include "support/type_library.h"

namespace {

const DISPID kRun = 1;

// The rule links are judged by, written out here on its own: the units in
// front of the first NUL; "ed2k:" (A to Z folded) and one unit more, or a
// double quote, "ed2k:" and one unit more; no double quote after the first
// unit but a closing one at the very end of a link that opened with one; no
// half of a surrogate pair without the other.
size_t UnitsBeforeNul(const std::wstring& link) {
  const size_t nul = link.find(L'\0');
  return nul == std::wstring::npos ? link.size() : nul;
}

bool StartsWithScheme(const wchar_t* units) {
  static const wchar_t kScheme[] = L"ed2k:";
  for (int i = 0; i < 5; ++i) {
    wchar_t unit = units[i];
    if (unit >= L'A' && unit <= L'Z') unit = static_cast<wchar_t>(unit - L'A' + L'a');
    if (unit != kScheme[i]) return false;
  }
  return true;
}

bool IsAccepted(const std::wstring& link) {
  const size_t length = UnitsBeforeNul(link);
  const wchar_t* units = link.c_str();
  const bool opened = length >= 1 && units[0] == L'"';
  const bool prefixed = (length >= 6 && StartsWithScheme(units)) ||
                        (opened && length >= 7 && StartsWithScheme(units + 1));
  if (!prefixed) return false;
  for (size_t i = 1; i < length; ++i) {
    if (units[i] == L'"' && !(opened && i == length - 1)) return false;
  }
  for (size_t i = 0; i < length; ++i) {
    const bool high = units[i] >= 0xD800 && units[i] <= 0xDBFF;
    const bool low = units[i] >= 0xDC00 && units[i] <= 0xDFFF;
    const bool pairedLow = i + 1 < length && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF;
    if (low || (high && !pairedLow)) return false;
    if (high) ++i;
  }
  return true;
}

// The bytes the shell must receive for an accepted link: the units in front
// of the NUL, unchanged where they are ASCII; every other character as the
// platform converts it alone into the process's ANSI code page without
// best-fit mapping (look-alikes must not turn into what the check refused),
// or, where the code page has no form for it, as "%XX" for each byte of its
// UTF-8 form.
std::string ExpectedShellText(const std::wstring& link) {
  const size_t length = UnitsBeforeNul(link);
  const UINT codePage = ::GetACP();
  const bool utf = codePage == CP_UTF8 || codePage == CP_UTF7;
  std::string text;
  for (size_t i = 0; i < length;) {
    if (link[i] < 0x80) {
      text += static_cast<char>(link[i++]);
      continue;
    }
    const int units = link[i] >= 0xD800 && link[i] <= 0xDBFF ? 2 : 1;
    char bytes[16];
    BOOL usedDefault = FALSE;
    int size = ::WideCharToMultiByte(codePage, utf ? 0 : WC_NO_BEST_FIT_CHARS, &link[i], units,
                                     bytes, sizeof bytes, nullptr, utf ? nullptr : &usedDefault);
    if (usedDefault) {
      char utf8[4];
      size = ::WideCharToMultiByte(CP_UTF8, 0, &link[i], units, utf8, sizeof utf8, nullptr,
                                   nullptr);
      for (int j = 0; j < size; ++j) {
        snprintf(bytes + 3 * j, 4, "%%%02X", static_cast<unsigned char>(utf8[j]));
      }
      size *= 3;
    }
    text.append(bytes, static_cast<size_t>(size));
    i += units;
  }
  return text;
}

// The HRESULT Run reports for a shell answer.
HRESULT ExpectedForAnswer(INT_PTR answer) {
  const int value = static_cast<int>(answer);
  if (value > 32) return S_OK;
  if (value == 0) return E_FAIL;
  if (value < 0) return static_cast<HRESULT>(value);
  return static_cast<HRESULT>(0x80070000u | static_cast<unsigned>(value));
}

// Hostile links from a fixed seed, so that a failure can be run again.
class CLinkGenerator {
 public:
  explicit CLinkGenerator(unsigned seed) : random_(seed) {}

  std::wstring Next() {
    switch (Below(5)) {
      case 0: return RandomUnits(Below(64));
      case 1: return LookAlike() + RandomUnits(Below(24));
      case 2: return AcceptedPrefix() + RandomUnits(Below(48), Below(2) == 0);
      case 3: return AcceptedPrefix() + Escapes();
      default: return AcceptedPrefix() + RandomUnits(1000 + Below(20000), Below(2) == 0);
    }
  }

 private:
  unsigned Below(unsigned bound) { return static_cast<unsigned>(random_() % bound); }

  // Units of every kind that matters: printable ASCII, NUL, quotes, lone and
  // paired surrogates, Latin-1, the rest of the BMP, letters of the scheme.
  wchar_t Unit() {
    switch (Below(10)) {
      case 0: return L'\0';
      case 1: return L'"';
      case 2: return static_cast<wchar_t>(0xD800 + Below(0x800));
      case 3: return static_cast<wchar_t>(0x80 + Below(0x80));
      case 4: return static_cast<wchar_t>(0x100 + Below(0xFF00));
      case 5: return L"ed2kED2K:%\\'"[Below(12)];
      default: return static_cast<wchar_t>(0x20 + Below(0x5F));
    }
  }

  // `wellFormed` makes every surrogate one of a pair, so that the link is
  // not refused for a lone one and reaches the conversion.
  std::wstring RandomUnits(size_t count, bool wellFormed = false) {
    std::wstring units;
    units.reserve(count + 1);
    while (units.size() < count) {
      const wchar_t unit = Unit();
      const bool surrogate = unit >= 0xD800 && unit <= 0xDFFF;
      if (Below(50) == 0 || (wellFormed && surrogate)) {
        units += static_cast<wchar_t>(0xD800 + Below(0x400));  // a well-formed pair
        units += static_cast<wchar_t>(0xDC00 + Below(0x400));
      } else {
        units += unit;
      }
    }
    return units;
  }

  // "ed2k:" or a quote and "ed2k:", its letters in any case.
  std::wstring AcceptedPrefix() {
    std::wstring prefix = Below(3) == 0 ? L"\"ed2k:" : L"ed2k:";
    for (wchar_t& unit : prefix) {
      if (unit >= L'a' && unit <= L'z' && Below(2)) unit = static_cast<wchar_t>(unit - 32);
    }
    return prefix;
  }

  // The prefix with one or two units swapped for look-alikes, one dropped,
  // or something put in front of it.
  std::wstring LookAlike() {
    static const wchar_t kLookAlikes[] = {
        0x212A,  // KELVIN SIGN for k
        0xFF45,  // FULLWIDTH LATIN SMALL LETTER E
        0x0435,  // CYRILLIC SMALL LETTER IE
        0xFF44,  // FULLWIDTH LATIN SMALL LETTER D
        0xFF12,  // FULLWIDTH DIGIT TWO
        0xFF1A,  // FULLWIDTH COLON
        0xA789,  // MODIFIER LETTER COLON
        0x0138,  // LATIN SMALL LETTER KRA
        0x0131,  // LATIN SMALL LETTER DOTLESS I
        0x00B2,  // SUPERSCRIPT TWO
    };
    static const wchar_t kInFront[] = {L' ', L'\t', 0xFEFF, 0x200B, 0x201C, 0xFF02, L'\'',
                                       0x00A0, L'\0'};
    std::wstring prefix = AcceptedPrefix();
    for (unsigned changes = 1 + Below(2); changes > 0; --changes) {
      const size_t at = Below(static_cast<unsigned>(prefix.size()));
      switch (Below(3)) {
        case 0: prefix[at] = kLookAlikes[Below(sizeof kLookAlikes / sizeof *kLookAlikes)]; break;
        case 1: prefix.erase(at, 1); break;
        default: prefix.insert(0, 1, kInFront[Below(sizeof kInFront / sizeof *kInFront)]); break;
      }
    }
    return prefix;
  }

  // Percent and backslash sequences a handler or a shell might decode.
  std::wstring Escapes() {
    static const wchar_t* const kPieces[] = {
        L"%00", L"%22", L"%25", L"%%", L"%APPDATA%", L"%1", L"\\", L"\\\\", L"\\\"", L"\\0",
        L"\\\\server\\share", L"..\\..\\", L"|", L"&", L"^", L"'", L"%u0022", L"\\x22"};
    std::wstring text;
    for (unsigned count = 1 + Below(12); count > 0; --count) {
      text += kPieces[Below(sizeof kPieces / sizeof *kPieces)];
    }
    return text;
  }

  std::mt19937 random_;
};

// Texts of tens of megabytes, accepted and refused, every round.
std::vector<std::wstring> HugeLinks() {
  const size_t kUnits = 16 * 1024 * 1024;  // 32 MB as UTF-16
  return {
      L"ed2k:" + std::wstring(kUnits - 5, L'a'),
      L"\"ed2k:" + std::wstring(kUnits / 2, L'x') + L"\"",
      std::wstring(kUnits, L'e'),
      L"ed2k:" + std::wstring(kUnits / 2, L'b') + L"\"c",
      L"ed2k:" + std::wstring(kUnits / 4, static_cast<wchar_t>(0x00E9)),
      std::wstring(L"ed2k:x\0", 7) + std::wstring(kUnits, L'%'),
  };
}

// The process's committed private memory, added up over its address space:
// every heap, the stacks and whatever else the process allocated itself.
SIZE_T PrivateBytes() {
  SIZE_T total = 0;
  MEMORY_BASIC_INFORMATION region;
  for (const char* at = nullptr;
       ::VirtualQuery(at, &region, sizeof region) == sizeof region;
       at = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
    if (static_cast<const char*>(region.BaseAddress) + region.RegionSize <= at) break;
  }
  return total;
}

// The bytes handed out and not yet freed on every heap of the process.
SIZE_T HeapBytesInUse() {
  HANDLE heaps[256];
  const DWORD count = ::GetProcessHeaps(256, heaps);
  SIZE_T total = 0;
  for (DWORD i = 0; i < count && i < 256; ++i) {
    if (!::HeapLock(heaps[i])) continue;
    PROCESS_HEAP_ENTRY entry = {};
    while (::HeapWalk(heaps[i], &entry)) {
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
    }
    ::HeapUnlock(heaps[i]);
  }
  return total;
}

class RunAttackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(S_OK, RegisterBrisvelTypeLibrary());
    ASSERT_EQ(S_OK, CObjectInstance<CAgent>::CreateInstance(nullptr, IID_IAgent,
                                                            reinterpret_cast<void**>(&agent_)));
    // The first dispatch call loads the type information and its name cache
    // for good; every call the test counts comes after it.
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"Run")};
    DISPID dispid = 0;
    ASSERT_EQ(S_OK, agent_->GetIDsOfNames(IID_NULL, names, 1, 0, &dispid));
    ASSERT_EQ(kRun, dispid);
    ResetShellRecord();
    g_platform.ShellExecuteA = RecordingShell;
  }

  void TearDown() override {
    if (agent_) agent_->Release();
    CTypeInfoHolder::ReleaseTypeInfo(&g_agentTypeInfo);
  }

  // Sends `link` through the vtable and through Invoke, and checks both
  // calls: what reached the shell, the result, and the library's heap.
  void Attack(const std::wstring& link) {
    const bool accepted = IsAccepted(link);
    const std::string expected = accepted ? ExpectedShellText(link) : std::string();
    BSTR text = ::SysAllocStringLen(link.data(), static_cast<UINT>(link.size()));
    ASSERT_NE(nullptr, text);
    for (bool late : {false, true}) {
      g_shellAnswer = kAnswers[answer_++ % (sizeof kAnswers / sizeof *kAnswers)];
      const HRESULT wanted = accepted ? ExpectedForAnswer(g_shellAnswer) : E_INVALIDARG;
      g_shellCalls.clear();
      injector_.Arm(CFaultInjector::Kind::kAllocation, 0);
      const HRESULT result = late ? Invoke(text) : agent_->Run(text);
      SCOPED_TRACE(testing::Message() << (late ? "Invoke" : "vtable") << ", link of "
                                      << link.size() << " units starting " << Shown(link));
      ASSERT_EQ(accepted ? 1u : 0u, g_shellCalls.size())
          << "only an accepted link reaches the shell, once";
      if (accepted) {
        const ShellCall& call = g_shellCalls.back();
        ASSERT_TRUE(call.IsPlainOpen());
        ASSERT_TRUE(call.file == expected) << Difference(call.file, expected);
        const std::string& file = call.file;
        const size_t quote = file.find('"', 1);
        ASSERT_TRUE(quote == std::string::npos || (file[0] == '"' && quote == file.size() - 1))
            << "a double quote inside what reached the shell, at byte " << quote;
      }
      ASSERT_EQ(wanted, result) << std::hex << result;
      ASSERT_EQ(0u, injector_.LiveHeapBlocks()) << "heap blocks left";
      ++calls_;
    }
    ::SysFreeString(text);
  }

  // Invoke's answer, or the code of the exception it reports.
  HRESULT Invoke(BSTR text) {
    VARIANT argument;
    ::VariantInit(&argument);
    argument.vt = VT_BSTR;
    argument.bstrVal = text;
    DISPPARAMS parameters = {&argument, nullptr, 1, 0};
    VARIANT result;
    ::VariantInit(&result);
    EXCEPINFO exception = {};
    UINT argumentError = 0;
    HRESULT answer = agent_->Invoke(kRun, IID_NULL, 0, DISPATCH_METHOD, &parameters, &result,
                                    &exception, &argumentError);
    if (exception.pfnDeferredFillIn) exception.pfnDeferredFillIn(&exception);
    if (answer == DISP_E_EXCEPTION) answer = exception.scode ? exception.scode : answer;
    ::SysFreeString(exception.bstrSource);
    ::SysFreeString(exception.bstrDescription);
    ::SysFreeString(exception.bstrHelpFile);
    ::VariantClear(&result);
    return answer;
  }

  // Where what the shell received first differs from what it should have.
  static std::string Difference(const std::string& received, const std::string& expected) {
    size_t at = 0;
    while (at < received.size() && at < expected.size() && received[at] == expected[at]) ++at;
    std::ostringstream text;
    text << "the shell received " << received.size() << " bytes, not " << expected.size()
         << "; at byte " << at << ": " << std::hex
         << (at < received.size() ? static_cast<unsigned char>(received[at]) + 0 : -1) << ", not "
         << (at < expected.size() ? static_cast<unsigned char>(expected[at]) + 0 : -1);
    return text.str();
  }

  // The first units of a link, for a failure's message.
  static std::string Shown(const std::wstring& link) {
    std::string shown;
    for (size_t i = 0; i < link.size() && i < 12; ++i) {
      char unit[8];
      snprintf(unit, sizeof unit, "%04X ", static_cast<unsigned>(link[i]));
      shown += unit;
    }
    return shown;
  }

  static constexpr INT_PTR kAnswers[] = {42, 33, 31, 2, 0, 32, -5, 1000};

  ScopedPlatformCalls platform_;
  ScopedRegistryOverride classes_{HKEY_CLASSES_ROOT};
  ScopedModuleLifetime module_;
  CFaultInjector injector_;
  IAgent* agent_ = nullptr;
  size_t answer_ = 0;
  size_t calls_ = 0;
};

constexpr INT_PTR RunAttackTest::kAnswers[];

TEST_F(RunAttackTest, OnlyAcceptedLinksReachTheShellExactlyAsConverted) {
  CLinkGenerator generator(20261211);
  for (int i = 0; i < 20000; ++i) {
    Attack(generator.Next());
    if (HasFatalFailure()) return;
  }
  // Nothing is taken from a null link, through either road.
  g_shellCalls.clear();
  EXPECT_EQ(E_POINTER, agent_->Run(nullptr));
  EXPECT_EQ(E_POINTER, Invoke(nullptr));
  EXPECT_TRUE(g_shellCalls.empty());
}

TEST_F(RunAttackTest, MemoryStaysFlatOverManyRoundsOfHugeAndHostileLinks) {
  const std::vector<std::wstring> huge = HugeLinks();
  CLinkGenerator generator(7);
  std::vector<std::wstring> hostile;
  for (int i = 0; i < 2000; ++i) hostile.push_back(generator.Next());
  auto round = [&] {
    for (const std::wstring& link : huge) Attack(link);
    for (const std::wstring& link : hostile) Attack(link);
  };
  // The first round settles what the platform keeps once: the type
  // information, the shell seam's strings, the allocator's own pools.
  round();
  ASSERT_FALSE(HasFatalFailure());
  const SIZE_T privateBefore = PrivateBytes();
  const SIZE_T heapBefore = HeapBytesInUse();
  const int kRounds = 4;
  for (int i = 0; i < kRounds; ++i) {
    round();
    ASSERT_FALSE(HasFatalFailure());
  }
  const SIZE_T privateAfter = PrivateBytes();
  const SIZE_T heapAfter = HeapBytesInUse();
  // Whatever the allocators keep for reuse may vary a little; a leak of a
  // few bytes a call adds up to far more over the rounds.
  EXPECT_LE(heapAfter, heapBefore + 64 * 1024)
      << "heap in use grew from " << heapBefore << " to " << heapAfter << " over " << kRounds
      << " rounds";
  EXPECT_LE(privateAfter, privateBefore + 1024 * 1024)
      << "private bytes grew from " << privateBefore << " to " << privateAfter << " over "
      << kRounds << " rounds";
}

}  // namespace
