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

// The default ANSI code page of the calling thread's locale, worked out anew.
UINT ThreadLocaleAnsiCodePage();

// Converts a NUL-terminated wide string into `destination`; null on failure.
char* WideToMultiByte(char* destination, const wchar_t* source, int capacityBytes,
                      UINT codePage, DWORD flags = 0);

// Converts a NUL-terminated multibyte string into `destination`; null on failure.
wchar_t* MultiByteToWide(wchar_t* destination, const char* source, int capacityChars,
                         UINT codePage);

// True when `bytes` and an 8 KiB margin fit on the calling thread's stack.
bool CanGrowStack(size_t bytes);

// Bytes of scratch for converting `length` characters in either direction.
inline size_t ScratchBytes(size_t length) { return 2 * (length + 1); }

// Bytes of scratch for widening `length` characters: ScratchBytes where a
// wide character is two bytes, and room for the wider characters of a
// native build of the script language.
inline size_t WideScratchBytes(size_t length) { return (length + 1) * sizeof(wchar_t); }

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
