// Heap objects of the library: every allocation goes through the platform
// table, so a test can refuse any one of them.
#ifndef BRISVEL_SERVER_MEMORY_H_
#define BRISVEL_SERVER_MEMORY_H_

#include <new>
#include <utility>

#include "server/platform.h"

// Allocates `bytes` of heap; null when none can be had.
inline void* HeapAllocate(size_t bytes) { return g_platform.HeapAllocate(bytes); }

// Frees a block from HeapAllocate; null is ignored.
inline void HeapRelease(void* block) { g_platform.HeapRelease(block); }

// Constructs a T on the heap; null when memory or the constructor fails.
template <class T, class... Args>
T* New(Args&&... args) {
  void* block = HeapAllocate(sizeof(T));
  if (!block) return nullptr;
  try {
    return new (block) T(std::forward<Args>(args)...);
  } catch (...) {
    HeapRelease(block);
    return nullptr;
  }
}

// Destroys and frees an object made by New; null is ignored.
template <class T>
void Delete(T* object) {
  if (!object) return;
  object->~T();
  HeapRelease(object);
}

#endif  // BRISVEL_SERVER_MEMORY_H_
