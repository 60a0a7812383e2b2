// The one owner of a block that a type library or a type information hands
// out (its attributes, a function's description): given back to the object
// that handed it out when the scope ends, on every path.
#ifndef BRISVEL_SERVER_TYPE_BLOCK_H_
#define BRISVEL_SERVER_TYPE_BLOCK_H_

#include "server/win32.h"

inline void ReleaseTypeBlock(ITypeLib* library, TLIBATTR* block) {
  library->ReleaseTLibAttr(block);
}
inline void ReleaseTypeBlock(ITypeInfo* info, TYPEATTR* block) { info->ReleaseTypeAttr(block); }
inline void ReleaseTypeBlock(ITypeInfo* info, FUNCDESC* block) { info->ReleaseFuncDesc(block); }

template <class Source, class T>
class CTypeBlock {
 public:
  // `source` must outlive the block; it is not referenced.
  explicit CTypeBlock(Source* source) : source_(source) {}
  ~CTypeBlock() {
    if (block_) ReleaseTypeBlock(source_, block_);
  }
  CTypeBlock(const CTypeBlock&) = delete;
  CTypeBlock& operator=(const CTypeBlock&) = delete;

  // The storage for the out parameter of the call that hands the block out.
  T** Receive() { return &block_; }
  T* Get() const { return block_; }
  T* operator->() const { return block_; }
  const T& operator*() const { return *block_; }

 private:
  Source* source_;
  T* block_ = nullptr;
};

using CLibraryAttributes = CTypeBlock<ITypeLib, TLIBATTR>;
using CTypeAttributes = CTypeBlock<ITypeInfo, TYPEATTR>;
using CFunctionDescription = CTypeBlock<ITypeInfo, FUNCDESC>;

#endif  // BRISVEL_SERVER_TYPE_BLOCK_H_
