// Template members of CInlineBuffer; included by convert.h only.
#ifndef BRISVEL_SERVER_CONVERT_INL_H_
#define BRISVEL_SERVER_CONVERT_INL_H_

#include "server/errors.h"
#include "server/memory.h"

template <size_t Capacity>
char* CInlineBuffer<Capacity>::Allocate(size_t bytes) {
  FreeHeap();
  if (bytes <= Capacity) return data_;
  char* block = static_cast<char*>(HeapAllocate(bytes));
  if (!block) ThrowResult(E_OUTOFMEMORY);
  data_ = block;
  return data_;
}

template <size_t Capacity>
void CInlineBuffer<Capacity>::FreeHeap() {
  if (data_ != inline_) HeapRelease(data_);
  data_ = inline_;
}

#endif  // BRISVEL_SERVER_CONVERT_INL_H_
