// The one owner of each critical section of the library, and the scoped lock
// through which it is entered: no code enters, leaves or deletes one by hand.
#ifndef BRISVEL_SERVER_CRITICAL_SECTION_H_
#define BRISVEL_SERVER_CRITICAL_SECTION_H_

#include "server/errors.h"
#include "server/win32.h"

class CCriticalSection {
 public:
  // Initialises the section with InitCriticalSection; InitResult tells how.
  CCriticalSection() : initResult_(InitCriticalSection(&section_)) {}
  ~CCriticalSection() { Delete(); }
  CCriticalSection(const CCriticalSection&) = delete;
  CCriticalSection& operator=(const CCriticalSection&) = delete;

  // The result of the initialisation; a failure stays until destruction.
  HRESULT InitResult() const { return initResult_; }
  // True while the section may be entered: initialised and not yet deleted.
  bool IsReady() const { return SUCCEEDED(initResult_); }

  // Deletes the section before the owner goes (a module's termination);
  // does nothing the second time.
  void Delete() {
    if (IsReady()) ::DeleteCriticalSection(&section_);
    initResult_ = E_UNEXPECTED;
  }

 private:
  friend class CCriticalSectionLock;
  CRITICAL_SECTION section_;
  HRESULT initResult_;
};

// Holds a ready critical section from construction to the end of the scope.
class CCriticalSectionLock {
 public:
  explicit CCriticalSectionLock(CCriticalSection* section) : section_(&section->section_) {
    ::EnterCriticalSection(section_);
  }
  ~CCriticalSectionLock() { ::LeaveCriticalSection(section_); }
  CCriticalSectionLock(const CCriticalSectionLock&) = delete;
  CCriticalSectionLock& operator=(const CCriticalSectionLock&) = delete;

 private:
  CRITICAL_SECTION* section_;
};

#endif  // BRISVEL_SERVER_CRITICAL_SECTION_H_
