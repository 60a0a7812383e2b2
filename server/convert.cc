#include "server/convert.h"

#include "server/memory.h"
#include "server/platform.h"

namespace {

UINT ThreadAnsiCodePage() { return CP_THREAD_ACP; }

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

}  // namespace

CodePageFunction volatile GetConversionCodePage = ChooseConversionCodePage;

UINT ChooseConversionCodePage() {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = 148;
  CodePageFunction chosen = ThreadLocaleAnsiCodePage;
  if (g_platform.GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT &&
      version.dwMajorVersion >= 5) {
    chosen = ThreadAnsiCodePage;
  }
  ::InterlockedExchangePointer(
      reinterpret_cast<void* volatile*>(const_cast<CodePageFunction*>(&GetConversionCodePage)),
      reinterpret_cast<void*>(chosen));
  return chosen();
}

UINT ThreadLocaleAnsiCodePage() {
  char text[8] = {};
  if (g_platform.GetLocaleInfoA(::GetThreadLocale(), LOCALE_IDEFAULTANSICODEPAGE, text, 7) &&
      text[0] != '\0') {
    UINT number = 0;
    // The digits are not checked, as the locale data only ever holds digits.
    for (const char* c = text; *c; ++c) number = number * 10 + (*c - '0');
    if (number != 0) return number;
  }
  return ::GetACP();
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
