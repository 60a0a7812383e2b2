#include "support/brisvel_library.h"

#include "idl/brisvel.h"
#include "support/test_paths.h"

BrisvelLibrary::BrisvelLibrary() : module_(::LoadLibraryA(BrisvelDllPath().c_str())) {
  if (!module_) return;
  getClassObject_ = reinterpret_cast<GetClassObjectFunction>(
      reinterpret_cast<void*>(::GetProcAddress(module_, "DllGetClassObject")));
  canUnloadNow_ = reinterpret_cast<CanUnloadNowFunction>(
      reinterpret_cast<void*>(::GetProcAddress(module_, "DllCanUnloadNow")));
}

BrisvelLibrary::~BrisvelLibrary() { Unload(); }

HRESULT BrisvelLibrary::GetClassObject(REFCLSID clsid, REFIID iid, void** out) const {
  return getClassObject_ ? getClassObject_(clsid, iid, out) : E_UNEXPECTED;
}

HRESULT BrisvelLibrary::CanUnloadNow() const {
  return canUnloadNow_ ? canUnloadNow_() : E_UNEXPECTED;
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
  return ::GetModuleHandleA("Brisvel.DLL") == nullptr;
}
