#include "server/class_factory.h"

#include "server/errors.h"
#include "server/instance.h"
#include "server/interface_map.h"
#include "server/module.h"

namespace {

const InterfaceMapEntry kFactoryInterfaces[] = {
    {&IID_IClassFactory, 0, kOffsetEntry},
    {nullptr, 0, nullptr},
};

}  // namespace

CClassFactory::CClassFactory(InstanceCreator createInstance) : createInstance_(createInstance) {
  if (!criticalSection_.IsReady()) ThrowResult(criticalSection_.InitResult());
}

CClassFactory::~CClassFactory() { count_ = kDestroyedCount; }

const InterfaceMapEntry* CClassFactory::GetInterfaceMap() { return kFactoryInterfaces; }

STDMETHODIMP CClassFactory::QueryInterface(REFIID iid, void** out) {
  return QueryInterfaceFromTable(this, kFactoryInterfaces, iid, out);
}

// The table's own reference never locks the module; the step to a second
// holder does, inside the section so that it cannot overtake the release
// that gives the lock back.
STDMETHODIMP_(ULONG) CClassFactory::AddRef() {
  CCriticalSectionLock lock(&criticalSection_);
  const LONG count = ::InterlockedIncrement(&count_);
  if (count_ == 2) g_currentModule->Lock();
  return count;
}

STDMETHODIMP_(ULONG) CClassFactory::Release() {
  LONG count;
  {
    CCriticalSectionLock lock(&criticalSection_);
    ::InterlockedDecrement(&count_);
    count = count_;
  }
  // Only the table's reference is left at 1, so the module lock goes back;
  // 0 comes only from 1, where it already went.
  if (count == 0) {
    Delete(this);
  } else if (count == 1) {
    g_currentModule->Unlock();
  }
  return count;
}

STDMETHODIMP CClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
  RETURN_HR_IF(E_POINTER, out == nullptr);
  *out = nullptr;
  // A controlling object must get the non-delegating IUnknown, the only
  // pointer through which it can hold the aggregated instance.
  RETURN_HR_IF(CLASS_E_NOAGGREGATION, outer && !IsSameIdentifier(iid, IID_IUnknown));
  return createInstance_(outer, iid, out);
}

STDMETHODIMP CClassFactory::LockServer(BOOL lock) {
  if (lock) {
    g_currentModule->Lock();
  } else {
    g_currentModule->Unlock();
  }
  return S_OK;
}

HRESULT CreateClassFactory(InstanceCreator createInstance, REFIID iid, void** out) {
  return CreateAndQuery<CClassFactory>(iid, out, createInstance);
}
