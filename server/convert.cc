#include "server/convert.h"

#include "server/memory.h"
#include "server/platform.h"

namespace {

// How far below `here` the calling thread's stack may still grow.
size_t StackRoomBelow(const void* here) {
  MEMORY_BASIC_INFORMATION region;
  if (!::VirtualQuery(here, &region, sizeof region)) return 0;
  // The stack is reserved from AllocationBase up; its lowest pages stay a
  // guard that must never be reached, so they do not count as room.
  const size_t kGuard = 3 * 4096;
  const size_t room = static_cast<const char*>(here) -
                      static_cast<const char*>(region.AllocationBase);
  return room > kGuard ? room - kGuard : 0;
}

// A platform count of a conversion's result as bytes of `unit`; 0 when the
// platform could not count it or it passes the limit.
size_t CountedBytes(int count, size_t unit) {
  if (count <= 0 || static_cast<size_t>(count) > kMaxConversionBytes / unit) return 0;
  return static_cast<size_t>(count) * unit;
}

}  // namespace

CodePageFunction volatile GetConversionCodePage = ChooseConversionCodePage;

// The ANSI entry points read and write bytes in the system's code page, so
// that is the one code page every conversion must use; a thread's locale
// (its user's format settings) may name another one and is not asked. The
// pointer and its one exchange stay so that the choice is made once, by
// whichever thread comes first.
UINT ChooseConversionCodePage() {
  ::InterlockedExchangePointer(
      reinterpret_cast<void* volatile*>(const_cast<CodePageFunction*>(&GetConversionCodePage)),
      reinterpret_cast<void*>(SystemAnsiCodePage));
  return SystemAnsiCodePage();
}

UINT SystemAnsiCodePage() { return g_platform.GetACP(); }

DWORD NarrowingFlags(UINT codePage) {
  return ReportsDefaultCharacter(codePage) ? WC_NO_BEST_FIT_CHARS : 0;
}

bool ReportsDefaultCharacter(UINT codePage) { return codePage != CP_UTF8 && codePage != CP_UTF7; }

size_t NarrowedBytes(const wchar_t* source, UINT codePage, bool* lossy) {
  if (lossy) *lossy = false;
  if (!source) return 0;
  BOOL usedDefault = FALSE;
  const int count = g_platform.WideCharToMultiByte(
      codePage, NarrowingFlags(codePage), source, -1, nullptr, 0, nullptr,
      lossy && ReportsDefaultCharacter(codePage) ? &usedDefault : nullptr);
  if (lossy) *lossy = usedDefault != FALSE;
  return CountedBytes(count, 1);
}

size_t WidenedBytes(const char* source, UINT codePage) {
  if (!source) return 0;
  return CountedBytes(g_platform.MultiByteToWideChar(codePage, 0, source, -1, nullptr, 0),
                      sizeof(wchar_t));
}

char* WideToMultiByte(char* destination, const wchar_t* source, int capacityBytes,
                      UINT codePage, DWORD flags) {
  if (!destination || !source) return nullptr;
  *destination = '\0';
  if (!g_platform.WideCharToMultiByte(codePage, flags, source, -1, destination, capacityBytes,
                                      nullptr, nullptr)) {
    return nullptr;
  }
  return destination;
}

wchar_t* MultiByteToWide(wchar_t* destination, const char* source, int capacityChars,
                         UINT codePage) {
  if (!destination || !source) return nullptr;
  *destination = L'\0';
  if (!g_platform.MultiByteToWideChar(codePage, 0, source, -1, destination, capacityChars)) {
    return nullptr;
  }
  return destination;
}

// GCC has no structured-exception guard here, so the probe does not touch
// the stack to see whether it faults: it measures the room between the
// current frame and the bottom of the thread's reserved stack. The answer
// keeps the guard's contract: true when the request and an 8 KiB margin fit,
// false when reserving them would overflow, and the thread is left usable.
bool CanGrowStack(size_t bytes) {
  const size_t wanted = (bytes + 8192 + 3) & ~size_t{3};
  volatile char here = 0;
  return wanted <= StackRoomBelow(const_cast<char*>(&here));
}

ConversionScratch::~ConversionScratch() {
  while (last_) {
    Block* previous = last_->previous;
    HeapRelease(last_);
    last_ = previous;
  }
}

void* ConversionScratch::AllocateHeap(size_t bytes) {
  if (bytes > static_cast<size_t>(-1) - sizeof(Block)) return nullptr;
  Block* block = static_cast<Block*>(HeapAllocate(sizeof(Block) + bytes));
  if (!block) return nullptr;
  block->previous = last_;
  last_ = block;
  return block + 1;
}
