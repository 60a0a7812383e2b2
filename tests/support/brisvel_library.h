// Brisvel.DLL as a client loads it: the library file from the build, its
// server exports, and its unloading.
#ifndef BRISVEL_TESTS_SUPPORT_BRISVEL_LIBRARY_H_
#define BRISVEL_TESTS_SUPPORT_BRISVEL_LIBRARY_H_

#include <windows.h>

class BrisvelLibrary {
 public:
  // Loads the built Brisvel.DLL; Loaded() says whether that worked.
  BrisvelLibrary();
  // Frees the library if it is still loaded.
  ~BrisvelLibrary();
  BrisvelLibrary(const BrisvelLibrary&) = delete;
  BrisvelLibrary& operator=(const BrisvelLibrary&) = delete;

  bool Loaded() const { return module_ != nullptr; }

  HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) const;
  HRESULT CanUnloadNow() const;
  // DllRegisterServer and DllUnregisterServer, run in this process.
  HRESULT RegisterServer() const;
  HRESULT UnregisterServer() const;

  // The class factory of Agent; null when the export does not give one.
  IClassFactory* AgentFactory() const;

  // Frees the library and answers whether it has left the process.
  bool Unload();

 private:
  using GetClassObjectFunction = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
  using CanUnloadNowFunction = HRESULT(WINAPI*)();
  using RegistrationFunction = HRESULT(WINAPI*)();

  HMODULE module_ = nullptr;
  GetClassObjectFunction getClassObject_ = nullptr;
  CanUnloadNowFunction canUnloadNow_ = nullptr;
  RegistrationFunction registerServer_ = nullptr;
  RegistrationFunction unregisterServer_ = nullptr;
};

#endif  // BRISVEL_TESTS_SUPPORT_BRISVEL_LIBRARY_H_
