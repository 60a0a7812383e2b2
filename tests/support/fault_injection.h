// Counts what the library asks of the platform table, and refuses one call of
// a kind: the Nth heap or task-memory allocation, or the Nth registry call.
// It also keeps the books a fault sweep checks after each run: the blocks
// allocated and not freed, and the keys opened and not closed. For the
// internal tests, which link the library's code.
#ifndef BRISVEL_TESTS_SUPPORT_FAULT_INJECTION_H_
#define BRISVEL_TESTS_SUPPORT_FAULT_INJECTION_H_

#include <stddef.h>

#include <set>
#include <string>

#include "server/platform.h"

class CFaultInjector {
 public:
  enum class Kind {
    // HeapAllocate, HeapReallocate, CoTaskMemAlloc, CoTaskMemRealloc.
    kAllocation,
    // Every registry call but RegCloseKey, which is counted for the books
    // only: a close that fails leaves the handle as it was.
    kRegistry,
  };

  // The code a refused registry call answers: a failure the platform may
  // report for any of them, and no code the library treats specially.
  static constexpr LONG kRegistryFailure = 1016;  // ERROR_REGISTRY_IO_FAILED

  // Wraps the calls in force in g_platform; one injector at a time.
  CFaultInjector();
  // Puts the calls that were in force back.
  ~CFaultInjector();
  CFaultInjector(const CFaultInjector&) = delete;
  CFaultInjector& operator=(const CFaultInjector&) = delete;

  // Starts counting afresh; the `failAt`th call of `kind` (from 1) will be
  // refused, 0 refuses none.
  void Arm(Kind kind, int failAt);

  // Calls of `kind` since Arm.
  int Calls(Kind kind) const { return kind == Kind::kAllocation ? allocations_ : registryCalls_; }

  // Whether the refusal happened, and what was refused ("RegOpenKeyExA CLSID").
  bool Refused() const { return !refused_.empty(); }
  const std::string& RefusedCall() const { return refused_; }

  // Heap and task-memory blocks allocated through the table and not freed.
  size_t LiveHeapBlocks() const { return heapBlocks_.size(); }
  size_t LiveTaskBlocks() const { return taskBlocks_.size(); }
  // Keys opened or created through the table and not closed.
  size_t OpenKeys() const { return openKeys_.size(); }

 private:
  static CFaultInjector* current_;

  // True when this call of `kind` is to be refused; records it as `call`
  // and its `subject` (a key or value name).
  bool Refuse(Kind kind, const char* call, const char* subject = nullptr);

  static void* HeapAllocate(size_t bytes);
  static void* HeapReallocate(void* block, size_t bytes);
  static void HeapRelease(void* block);
  static LPVOID WINAPI TaskAllocate(SIZE_T bytes);
  static LPVOID WINAPI TaskReallocate(LPVOID block, SIZE_T bytes);
  static void WINAPI TaskRelease(LPVOID block);
  static LSTATUS WINAPI OpenKey(HKEY, LPCSTR, DWORD, REGSAM, PHKEY);
  static LSTATUS WINAPI CreateKey(HKEY, LPCSTR, DWORD, LPSTR, DWORD, REGSAM,
                                  const LPSECURITY_ATTRIBUTES, PHKEY, LPDWORD);
  static LSTATUS WINAPI SetValue(HKEY, LPCSTR, DWORD, DWORD, const BYTE*, DWORD);
  static LSTATUS WINAPI DeleteValue(HKEY, LPCSTR);
  static LSTATUS WINAPI DeleteKey(HKEY, LPCSTR);
  static LSTATUS WINAPI EnumKey(HKEY, DWORD, LPSTR, LPDWORD, LPDWORD, LPSTR, LPDWORD, PFILETIME);
  static LSTATUS WINAPI QueryInfo(HKEY, LPSTR, LPDWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD,
                                  LPDWORD, LPDWORD, LPDWORD, LPDWORD, PFILETIME);
  static LSTATUS WINAPI CloseKey(HKEY);

  PlatformCalls saved_;
  Kind failingKind_ = Kind::kAllocation;
  int failAt_ = 0;
  int allocations_ = 0;
  int registryCalls_ = 0;
  std::string refused_;
  std::set<void*> heapBlocks_;
  std::set<void*> taskBlocks_;
  std::set<HKEY> openKeys_;
};

#endif  // BRISVEL_TESTS_SUPPORT_FAULT_INJECTION_H_
