// Malformed and hostile scripts: each ends with its code, and neither reads
// nor writes past a block (every heap and task-memory block, and the script
// text itself, ends where a no-access page begins), leaks a block or leaves
// a key open.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <map>
#include <string>

#include "registrar/registrar.h"
#include "registrar/script_parser.h"
#include "support/case_name.h"
#include "support/double_byte_code_page.h"
#include "support/identities.h"
#include "support/memory_registry.h"
#include "support/platform_override.h"
#include "support/script_seeds.h"

namespace {

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BRISVEL_ADDRESS_SANITIZER 1
#endif
#endif

// Blocks placed so that their last byte lies just before a no-access page;
// under AddressSanitizer, blocks of its allocator, which guards every byte
// past a block as well and keeps the alignment a heap promises.
class CGuardedMemory {
 public:
  // A block for the library, unless the allocations it may have are used up.
  static void* Allocate(size_t bytes) {
    if (failAfter_ == 0) return nullptr;
    if (failAfter_ > 0) --failAfter_;
    return AllocateGuarded(bytes);
  }

  // A block whatever the count says, for the test's own use.
  static void* AllocateGuarded(size_t bytes) {
#ifdef BRISVEL_ADDRESS_SANITIZER
    char* block = static_cast<char*>(malloc(bytes ? bytes : 1));
    if (!block) return nullptr;
    blocks_[block] = {block, bytes};
    return block;
#else
    const size_t kPage = 4096;
    const size_t span = (bytes + kPage - 1) / kPage * kPage;
    char* base = static_cast<char*>(
        ::VirtualAlloc(nullptr, span + kPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (!base) return nullptr;
    DWORD old;
    ::VirtualProtect(base + span, kPage, PAGE_NOACCESS, &old);
    char* block = base + span - bytes;
    blocks_[block] = {base, bytes};
    return block;
#endif
  }

  static void* Reallocate(void* block, size_t bytes) {
    if (!block) return Allocate(bytes);
    void* moved = Allocate(bytes);
    if (!moved) return nullptr;
    const size_t kept = std::min(bytes, blocks_.at(block).size);
    memcpy(moved, block, kept);
    Release(block);
    return moved;
  }

  static void Release(void* block) {
    if (!block) return;
    auto found = blocks_.find(block);
    if (found == blocks_.end()) {
      ADD_FAILURE() << "a block freed twice or never allocated";
      return;
    }
#ifdef BRISVEL_ADDRESS_SANITIZER
    free(found->second.base);
#else
    ::VirtualFree(found->second.base, 0, MEM_RELEASE);
#endif
    blocks_.erase(found);
  }

  static void* WINAPI TaskAllocate(SIZE_T bytes) { return Allocate(bytes); }
  static void* WINAPI TaskReallocate(void* block, SIZE_T bytes) { return Reallocate(block, bytes); }
  static void WINAPI TaskRelease(void* block) { Release(block); }

  static size_t Live() { return blocks_.size(); }
  // Lets `count` more allocations succeed and refuses the rest; -1 refuses none.
  static void FailAfter(int count) { failAfter_ = count; }

 private:
  struct Block {
    char* base;
    size_t size;
  };
  static std::map<void*, Block> blocks_;
  static int failAfter_;
};

std::map<void*, CGuardedMemory::Block> CGuardedMemory::blocks_;
int CGuardedMemory::failAfter_ = -1;

// The script text in a guarded block of its own, its terminator the last byte.
class CGuardedText {
 public:
  explicit CGuardedText(const std::string& text)
      : text_(static_cast<char*>(CGuardedMemory::AllocateGuarded(text.size() + 1))) {
    memcpy(text_, text.c_str(), text.size() + 1);
  }
  ~CGuardedText() { CGuardedMemory::Release(text_); }
  const char* Get() const { return text_; }

 private:
  char* text_;
};

class HostileScriptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CGuardedMemory::FailAfter(-1);
    platform_->HeapAllocate = CGuardedMemory::Allocate;
    platform_->HeapReallocate = CGuardedMemory::Reallocate;
    platform_->HeapRelease = CGuardedMemory::Release;
    platform_->CoTaskMemAlloc = CGuardedMemory::TaskAllocate;
    platform_->CoTaskMemRealloc = CGuardedMemory::TaskReallocate;
    platform_->CoTaskMemFree = CGuardedMemory::TaskRelease;
  }

  void TearDown() override {
    EXPECT_EQ(0u, CGuardedMemory::Live()) << "blocks left allocated";
    EXPECT_EQ(0u, registry_->OpenHandleCount()) << "keys left open";
  }

  // Runs `text` in one pass with a registrar of its own, as a script run does.
  HRESULT Run(const std::string& text, bool doRegister) {
    CRegistrar registrar;
    if (FAILED(registrar.SetReplacement(L"APPID", L"" BRISVEL_APPID_TEXT)) ||
        FAILED(registrar.SetReplacement(L"BIG", std::wstring(3000, L'v').c_str()))) {
      return E_OUTOFMEMORY;
    }
    RecordScriptSeed(text);
    CGuardedText guarded(text);
    CScriptParser parser(&registrar);
    return parser.RunScript(guarded.Get(), doRegister);
  }

  ScopedPlatformCalls platform_;
  // Made after the table is changed, so its own bookkeeping is no library heap.
  std::unique_ptr<CMemoryRegistry> registry_ = std::make_unique<CMemoryRegistry>();
};

std::string Repeat(const std::string& part, size_t count) {
  std::string text;
  for (size_t i = 0; i < count; ++i) text += part;
  return text;
}

// Keys `depth` blocks deep below HKCR.
std::string Nested(size_t depth) {
  return "HKCR { " + Repeat("k { ", depth) + Repeat("} ", depth) + "}";
}

struct HostileCase {
  const char* name;
  std::string script;
  HRESULT registered;
  HRESULT unregistered;
  bool doubleByte = false;
};

void PrintTo(const HostileCase& c, std::ostream* out) { *out << c.name; }

const HRESULT kSyntaxError = DISP_E_EXCEPTION;

const HostileCase kHostileCases[] = {
    {"unterminated quote", "HKCR { 'abc", kSyntaxError, kSyntaxError},
    {"unterminated quote after a doubled apostrophe", "HKCR { Foo = s 'a''", kSyntaxError,
     kSyntaxError},
    {"three apostrophes at the end", "HKCR { '''", kSyntaxError, kSyntaxError},
    {"root name alone", "HKCR", kSyntaxError, kSyntaxError},
    {"closing braces alone", "}}}}", kSyntaxError, kSyntaxError},
    {"512 levels of keys", Nested(512), S_OK, S_OK},
    {"513 levels of keys", Nested(513), kSyntaxError, kSyntaxError},
    {"100000 levels of keys", "HKCR { " + Repeat("k { ", 100000), kSyntaxError, kSyntaxError},
    {"100000 opening braces", "HKCR " + Repeat("{ ", 100000), kSyntaxError, kSyntaxError},
    {"megabyte bare token", "HKCR { " + std::string(1 << 20, 'a') + " }", kSyntaxError,
     kSyntaxError},
    {"megabyte quoted token", "HKCR { '" + std::string(1 << 20, 'a') + "' }", kSyntaxError,
     kSyntaxError},
    {"megabyte of doubled apostrophes", "HKCR { '" + std::string(1 << 20, '\'') + "' }",
     kSyntaxError, kSyntaxError},
    {"value text past the capacity", "HKCR { Foo = s '" + std::string(5000, 'v') + "' }",
     kSyntaxError, kSyntaxError},
    {"variables expanding past the capacity", "HKCR { '%BIG%%BIG%' }", kSyntaxError,
     kSyntaxError},
    {"ten thousand root blocks", Repeat("HKCR { } ", 10000), S_OK, S_OK},
    {"odd storm of percent signs", std::string(100001, '%'), kSyntaxError, kSyntaxError},
    {"even storm of percent signs", "HKCR { '" + std::string(40000, '%') + "' }", kSyntaxError,
     kSyntaxError},
    {"storm of unknown variables", Repeat("%a", 50000), kSyntaxError, kSyntaxError},
    {"storm of a known variable", "HKCR { Foo = s '" + Repeat("%APPID%", 110) + "' }",
     kSyntaxError, kSyntaxError},
    {"variable name of ten thousand bytes", "%" + std::string(10000, 'x') + "%", E_FAIL, E_FAIL},
    {"sign at the very end", "HKCR { Foo } %", kSyntaxError, kSyntaxError},
    {"lone lead byte at the end", "HKCR { Foo\x95", kSyntaxError, kSyntaxError, true},
    {"lead byte before the closing quote", "HKCR { 'Foo\x95' }", kSyntaxError, kSyntaxError,
     true},
    {"lead byte at the end of a variable name", "HKCR { %APPID\x95", kSyntaxError, kSyntaxError,
     true},
    {"lead bytes alone", std::string(3001, '\x95'), kSyntaxError, kSyntaxError, true},
    {"lead byte at the end of a multi-string", "HKCR { val v = m 'x\x95", kSyntaxError,
     kSyntaxError, true},
};

class HostileCaseTest : public HostileScriptTest,
                        public ::testing::WithParamInterface<HostileCase> {};

TEST_P(HostileCaseTest, EndsWithItsCode) {
  const HostileCase& c = GetParam();
  if (c.doubleByte) InstallDoubleByteStepping();
  EXPECT_EQ(c.registered, Run(c.script, true));
  EXPECT_EQ(c.unregistered, Run(c.script, false));
}

INSTANTIATE_TEST_SUITE_P(Scripts, HostileCaseTest, ::testing::ValuesIn(kHostileCases),
                         CaseName());

TEST_F(HostileScriptTest, EveryRefusedAllocationFailsCleanly) {
  const std::string script =
      "HKCR { '%APPID%' = s 'x' { val b = b " + std::string(600, 'a') + " val m = m '" +
      std::string(300, 'm') + "\\0two' val d = d 42 } }";
  ASSERT_EQ(S_OK, Run(script, true));
  ASSERT_EQ(S_OK, Run(script, false));
  HRESULT result = E_OUTOFMEMORY;
  int allowed = 0;
  for (; allowed < 100 && result != S_OK; ++allowed) {
    CGuardedMemory::FailAfter(allowed);
    result = Run(script, true);
    CGuardedMemory::FailAfter(-1);
    EXPECT_TRUE(result == S_OK || result == E_OUTOFMEMORY || result == E_FAIL)
        << "with " << allowed << " allocations: " << std::hex << result;
    EXPECT_EQ(0u, CGuardedMemory::Live()) << "with " << allowed << " allocations";
    ASSERT_EQ(S_OK, Run(script, false));
  }
  EXPECT_EQ(S_OK, result) << "enough allocations were never allowed";
  EXPECT_GT(allowed, 5) << "the run allocates its maps, expansion and value buffers";
}

// Scripts made of the language's own pieces in random order and spacing:
// whatever they mean, each pass ends with a code and leaves nothing behind.
TEST_F(HostileScriptTest, ScriptsOfRandomPiecesEndCleanly) {
  const char* const pieces[] = {
      "HKCR", "HKLM", "{", "}", "=", "s", "d", "b", "m", "sz", "val", "Val", "NoRemove",
      "ForceRemove", "Delete", "'q''x'", "'", "''", "name", "CLSID", "%APPID%", "%%", "%",
      "0A", "\\0", "a\\b", "\x95", "\x95\x5C", "{x", "}x", "42", "&H10", "%BIG%", "\v"};
  const char* const gaps[] = {" ", "\t", "\r\n", "", " "};
  unsigned seed = 12345;
  auto next = [&seed](unsigned range) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % range;
  };
  for (int round = 0; round < 400; ++round) {
    std::string script;
    const unsigned length = 1 + next(60);
    for (unsigned i = 0; i < length; ++i) {
      script += pieces[next(sizeof pieces / sizeof *pieces)];
      script += gaps[next(sizeof gaps / sizeof *gaps)];
    }
    ScopedPlatformCalls stepping;
    if (round % 2) InstallDoubleByteStepping();
    Run(script, true);
    Run(script, false);
    ASSERT_EQ(0u, CGuardedMemory::Live()) << "round " << round << ": " << script;
    ASSERT_EQ(0u, registry_->OpenHandleCount()) << "round " << round << ": " << script;
  }
}

}  // namespace
