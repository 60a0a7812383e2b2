// The class factory cached in the class table: shared by every apartment,
// it holds one module lock while anyone besides the table holds it.
#ifndef BRISVEL_SERVER_CLASS_FACTORY_H_
#define BRISVEL_SERVER_CLASS_FACTORY_H_

#include "server/class_table.h"
#include "server/critical_section.h"
#include "server/win32.h"

struct InterfaceMapEntry;

class CClassFactory : public IClassFactory {
 public:
  // Throws CResultException when the factory critical section cannot be had.
  explicit CClassFactory(InstanceCreator createInstance);
  virtual ~CClassFactory();
  CClassFactory(const CClassFactory&) = delete;
  CClassFactory& operator=(const CClassFactory&) = delete;

  // The interface table: IClassFactory only.
  static const InterfaceMapEntry* GetInterfaceMap();

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
  STDMETHODIMP LockServer(BOOL lock) override;

 private:
  volatile LONG count_ = 0;
  InstanceCreator createInstance_;
  CCriticalSection criticalSection_;
};

// The class object creator of a class: a CClassFactory over `createInstance`.
HRESULT CreateClassFactory(InstanceCreator createInstance, REFIID iid, void** out);

#endif  // BRISVEL_SERVER_CLASS_FACTORY_H_
