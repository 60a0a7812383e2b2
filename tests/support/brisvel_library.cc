#include "support/brisvel_library.h"

#include "idl/brisvel.h"
#include "support/test_paths.h"

namespace {

// An export of `module` as the function type it has; null when it is missing.
template <class Function>
Function Export(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

}  // namespace

BrisvelLibrary::BrisvelLibrary() : module_(::LoadLibraryA(BrisvelDllPath().c_str())) {
  if (!module_) return;
  getClassObject_ = Export<GetClassObjectFunction>(module_, "DllGetClassObject");
  canUnloadNow_ = Export<CanUnloadNowFunction>(module_, "DllCanUnloadNow");
  registerServer_ = Export<RegistrationFunction>(module_, "DllRegisterServer");
  unregisterServer_ = Export<RegistrationFunction>(module_, "DllUnregisterServer");
}

BrisvelLibrary::~BrisvelLibrary() { Unload(); }

HRESULT BrisvelLibrary::GetClassObject(REFCLSID clsid, REFIID iid, void** out) const {
  return getClassObject_ ? getClassObject_(clsid, iid, out) : E_UNEXPECTED;
}

HRESULT BrisvelLibrary::CanUnloadNow() const {
  return canUnloadNow_ ? canUnloadNow_() : E_UNEXPECTED;
}

HRESULT BrisvelLibrary::RegisterServer() const {
  return registerServer_ ? registerServer_() : E_UNEXPECTED;
}

HRESULT BrisvelLibrary::UnregisterServer() const {
  return unregisterServer_ ? unregisterServer_() : E_UNEXPECTED;
}

IClassFactory* BrisvelLibrary::AgentFactory() const {
  IClassFactory* factory = nullptr;
  if (FAILED(GetClassObject(CLSID_Agent, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) {
    return nullptr;
  }
  return factory;
}

bool BrisvelLibrary::Unload() {
  if (module_) ::FreeLibrary(module_);
  module_ = nullptr;
  getClassObject_ = nullptr;
  canUnloadNow_ = nullptr;
  registerServer_ = nullptr;
  unregisterServer_ = nullptr;
  return ::GetModuleHandleA("Brisvel.DLL") == nullptr;
}
