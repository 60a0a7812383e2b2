// One owner for every handle, BSTR, task-memory block and interface pointer
// the library holds: a wrapper over a traits type that says how to close a
// value and which value means "nothing held".
#ifndef BRISVEL_SERVER_HANDLE_H_
#define BRISVEL_SERVER_HANDLE_H_

#include "server/platform.h"

template <class Traits>
class CHandle {
 public:
  using Type = typename Traits::Type;

  CHandle() = default;
  explicit CHandle(Type value) : value_(value) {}
  CHandle(const CHandle&) = delete;
  CHandle& operator=(const CHandle&) = delete;
  CHandle(CHandle&& other) noexcept : value_(other.Detach()) {}
  CHandle& operator=(CHandle&& other) noexcept {
    if (this != &other) Reset(other.Detach());
    return *this;
  }
  ~CHandle() { Reset(); }

  Type Get() const { return value_; }
  bool IsValid() const { return value_ != Traits::Invalid(); }
  explicit operator bool() const { return IsValid(); }

  // Closes what is held and takes `value` instead.
  void Reset(Type value = Traits::Invalid()) {
    if (value_ != Traits::Invalid()) Traits::Close(value_);
    value_ = value;
  }

  // Gives up ownership without closing.
  Type Detach() {
    Type value = value_;
    value_ = Traits::Invalid();
    return value;
  }

  // Closes what is held and hands out the storage for an out parameter.
  Type* Receive() {
    Reset();
    return &value_;
  }

 private:
  Type value_ = Traits::Invalid();
};

struct KeyTraits {
  using Type = HKEY;
  static Type Invalid() { return nullptr; }
  static void Close(Type key) { g_platform.RegCloseKey(key); }
};

struct LibraryTraits {
  using Type = HMODULE;
  static Type Invalid() { return nullptr; }
  static void Close(Type module) { ::FreeLibrary(module); }
};

struct BstrTraits {
  using Type = BSTR;
  static Type Invalid() { return nullptr; }
  static void Close(Type text) { ::SysFreeString(text); }
};

template <class T>
struct TaskMemTraits {
  using Type = T*;
  static Type Invalid() { return nullptr; }
  static void Close(Type block) { g_platform.CoTaskMemFree(block); }
};

template <class T>
struct HeapTraits {
  using Type = T*;
  static Type Invalid() { return nullptr; }
  static void Close(Type block) { g_platform.HeapRelease(block); }
};

template <class I>
struct InterfaceTraits {
  using Type = I*;
  static Type Invalid() { return nullptr; }
  static void Close(Type object) { object->Release(); }
};

using CKeyHandle = CHandle<KeyTraits>;
using CLibraryHandle = CHandle<LibraryTraits>;
using CBstr = CHandle<BstrTraits>;
template <class T> using CTaskMem = CHandle<TaskMemTraits<T>>;
template <class T> using CHeapBlock = CHandle<HeapTraits<T>>;
template <class I> using CInterfacePtr = CHandle<InterfaceTraits<I>>;

#endif  // BRISVEL_SERVER_HANDLE_H_
