// The built Brisvel.DLL loaded into this process, as the component runtime
// loads it, with typed access to its exports.
#ifndef BRISVEL_TESTS_SUPPORT_BRISVEL_LIBRARY_H_
#define BRISVEL_TESTS_SUPPORT_BRISVEL_LIBRARY_H_

#include <windows.h>

class BrisvelLibrary {
 public:
  BrisvelLibrary();
  ~BrisvelLibrary();
  BrisvelLibrary(const BrisvelLibrary&) = delete;
  BrisvelLibrary& operator=(const BrisvelLibrary&) = delete;

  HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) const;
  HRESULT CanUnloadNow() const;

  HMODULE Module() const { return module_; }

 private:
  HMODULE module_;
};

#endif  // BRISVEL_TESTS_SUPPORT_BRISVEL_LIBRARY_H_
