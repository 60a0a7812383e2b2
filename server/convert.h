// Text between UTF-16 interfaces and the ANSI entry points of the platform:
// the process-wide conversion code page, the two conversion helpers, and
// where their scratch buffers live.
#ifndef BRISVEL_SERVER_CONVERT_H_
#define BRISVEL_SERVER_CONVERT_H_

#include <stddef.h>

#include "server/win32.h"

using CodePageFunction = UINT (*)();

// The conversion code page; settles the process-wide choice on first call.
extern CodePageFunction volatile GetConversionCodePage;

// Makes the process-wide choice, installs it, and answers it.
UINT ChooseConversionCodePage();

// The system's ANSI code page: the one the ANSI entry points read their bytes
// in, whatever the calling thread's locale.
UINT SystemAnsiCodePage();

// Conversion flags for narrowing into `codePage`: no best-fit mapping where
// the code page takes the flag; none for UTF-8 and UTF-7, which refuse it.
DWORD NarrowingFlags(UINT codePage);

// True when the platform may be asked, converting into `codePage`, whether
// it used the default character (UTF-8 and UTF-7 refuse the question).
bool ReportsDefaultCharacter(UINT codePage);

// The largest conversion result, in bytes: what the platform's sizes hold.
const size_t kMaxConversionBytes = 0x7FFFFFFF;

// Bytes `source` needs in `codePage` with NarrowingFlags, terminator
// included, as the platform counts them; 0 when it cannot be converted or
// needs more than kMaxConversionBytes. `lossy`, when given, is set to whether
// some character has no form in the code page.
size_t NarrowedBytes(const wchar_t* source, UINT codePage, bool* lossy = nullptr);

// Bytes of wide scratch `source` needs from `codePage`, terminator included,
// as the platform counts its characters; 0 when it cannot be converted or
// needs more than kMaxConversionBytes.
size_t WidenedBytes(const char* source, UINT codePage);

// Converts a NUL-terminated wide string into `destination`; null on failure.
char* WideToMultiByte(char* destination, const wchar_t* source, int capacityBytes,
                      UINT codePage, DWORD flags = 0);

// Converts a NUL-terminated multibyte string into `destination`; null on failure.
wchar_t* MultiByteToWide(wchar_t* destination, const char* source, int capacityChars,
                         UINT codePage);

// True when `bytes` and an 8 KiB margin fit on the calling thread's stack.
bool CanGrowStack(size_t bytes);

// Heap blocks of one converting scope, freed together when the scope ends.
class ConversionScratch {
 public:
  ConversionScratch() = default;
  ConversionScratch(const ConversionScratch&) = delete;
  ConversionScratch& operator=(const ConversionScratch&) = delete;
  ~ConversionScratch();

  // A heap block of `bytes` linked into this scope; null when none can be had.
  void* AllocateHeap(size_t bytes);

 private:
  struct Block {
    Block* previous;
  };
  Block* last_ = nullptr;
};

// Scratch of `bytes` for one conversion: the caller's stack up to 1024 bytes
// when the stack has room, otherwise a heap block of `scratch`. A macro
// because stack space must be taken in the converting function's own frame.
#define ALLOCATE_SCRATCH(scratch, bytes)                                    \
  (((bytes) <= 1024 && CanGrowStack(bytes))                                 \
       ? __builtin_alloca((static_cast<size_t>(bytes) + 3) & ~size_t{3})   \
       : (scratch).AllocateHeap(bytes))

// `source` (wide) narrowed into `codePage` for an ANSI call, in scratch sized
// by the platform and placed by ALLOCATE_SCRATCH; null when it cannot be
// converted, is too long, or no scratch can be had. `lossy` as NarrowedBytes.
// A statement expression, not a function, so that the stack scratch belongs
// to the converting function's frame and lives until that function returns.
#define NARROW_TEXT(scratch, source, codePage, lossy)                                      \
  __extension__({                                                                          \
    const wchar_t* const narrowSource_ = (source);                                         \
    const UINT narrowCodePage_ = (codePage);                                               \
    const size_t narrowBytes_ = NarrowedBytes(narrowSource_, narrowCodePage_, (lossy));    \
    narrowBytes_ == 0                                                                      \
        ? static_cast<char*>(nullptr)                                                      \
        : WideToMultiByte(static_cast<char*>(ALLOCATE_SCRATCH((scratch), narrowBytes_)),   \
                          narrowSource_, static_cast<int>(narrowBytes_), narrowCodePage_,  \
                          NarrowingFlags(narrowCodePage_));                                \
  })

// `source` (multibyte in `codePage`) widened, in scratch sized by the
// platform and placed as NARROW_TEXT places it; null on failure.
#define WIDEN_TEXT(scratch, source, codePage)                                              \
  __extension__({                                                                          \
    const char* const widenSource_ = (source);                                             \
    const UINT widenCodePage_ = (codePage);                                                \
    const size_t widenBytes_ = WidenedBytes(widenSource_, widenCodePage_);                 \
    widenBytes_ == 0                                                                       \
        ? static_cast<wchar_t*>(nullptr)                                                   \
        : MultiByteToWide(static_cast<wchar_t*>(ALLOCATE_SCRATCH((scratch), widenBytes_)), \
                          widenSource_, static_cast<int>(widenBytes_ / sizeof(wchar_t)),   \
                          widenCodePage_);                                                 \
  })

// A buffer with `Capacity` bytes inline that moves to the heap for more.
template <size_t Capacity>
class CInlineBuffer {
 public:
  CInlineBuffer() = default;
  CInlineBuffer(const CInlineBuffer&) = delete;
  CInlineBuffer& operator=(const CInlineBuffer&) = delete;
  ~CInlineBuffer() { FreeHeap(); }

  // Storage of `bytes`; throws CResultException(E_OUTOFMEMORY) when the heap
  // has none.
  char* Allocate(size_t bytes);

  char* Get() { return data_; }

 private:
  void FreeHeap();

  char inline_[Capacity];
  char* data_ = inline_;
};

#include "server/convert-inl.h"

#endif  // BRISVEL_SERVER_CONVERT_H_
