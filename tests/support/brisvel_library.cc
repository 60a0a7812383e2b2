#include "support/brisvel_library.h"

#include <gtest/gtest.h>

#include "support/test_paths.h"

namespace {

// An export of `module` as the function type it has; null when it is missing.
template <class Function>
Function Export(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

}  // namespace

BrisvelLibrary::BrisvelLibrary() : module_(::LoadLibraryA(BrisvelDllPath().c_str())) {
  EXPECT_NE(nullptr, module_) << "loading " << BrisvelDllPath() << ": " << ::GetLastError();
}

BrisvelLibrary::~BrisvelLibrary() {
  if (module_) ::FreeLibrary(module_);
}

HRESULT BrisvelLibrary::GetClassObject(REFCLSID clsid, REFIID iid, void** out) const {
  using Function = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  return Export<Function>(module_, "DllGetClassObject")(clsid, iid, out);
}

HRESULT BrisvelLibrary::CanUnloadNow() const {
  using Function = HRESULT(STDAPICALLTYPE*)();
  return Export<Function>(module_, "DllCanUnloadNow")();
}
