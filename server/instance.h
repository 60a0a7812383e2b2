// Live objects of an implementation class: the stand-alone and aggregated
// instance wrappers, their creators, and the chooser a class factory calls.
// Every live instance holds one module lock.
#ifndef BRISVEL_SERVER_INSTANCE_H_
#define BRISVEL_SERVER_INSTANCE_H_

#include "server/errors.h"
#include "server/interface_map.h"
#include "server/memory.h"
#include "server/module.h"
#include "server/win32.h"

// The count a counted object carries while it is being destroyed.
const LONG kDestroyedCount = static_cast<LONG>(0xC0000001);

// Builds an `Object` from `arguments` and hands out its interface `iid`; the
// object is destroyed again when it does not answer with S_OK.
template <class Object, class... Args>
HRESULT CreateAndQuery(REFIID iid, void** out, Args... arguments) {
  RETURN_HR_IF(E_POINTER, out == nullptr);
  *out = nullptr;
  Object* object = New<Object>(arguments...);
  RETURN_HR_IF_NULL(E_OUTOFMEMORY, object);
  const HRESULT result = object->QueryInterface(iid, out);
  if (result != S_OK) Delete(object);
  return result;
}

// The apartment-model count and the module lock of an instance built on
// `Base`: the count is 0 at construction and destroys the instance at 0.
template <class Base>
class CCountedInstance : public Base {
 public:
  CCountedInstance() { g_currentModule->Lock(); }
  virtual ~CCountedInstance() {
    count_ = kDestroyedCount;
    g_currentModule->Unlock();
  }
  CCountedInstance(const CCountedInstance&) = delete;
  CCountedInstance& operator=(const CCountedInstance&) = delete;

  STDMETHODIMP_(ULONG) AddRef() override { return ++count_; }
  STDMETHODIMP_(ULONG) Release() override {
    const LONG count = --count_;
    if (count == 0) Delete(this);
    return count;
  }

 private:
  LONG count_ = 0;
};

// A stand-alone instance of `T` with its own reference count.
template <class T>
class CObjectInstance : public CCountedInstance<T> {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    return QueryInterfaceFromTable(this, T::GetInterfaceMap(), iid, out);
  }

  // The controlling object is ignored: a stand-alone instance has none.
  static HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) {
    return CreateAndQuery<CObjectInstance>(iid, out);
  }
};

// The implementation object inside an aggregated instance: everything it
// is asked about IUnknown goes to the controlling object, uncounted here.
template <class T>
class CInnerObject : public T {
 public:
  explicit CInnerObject(IUnknown* outer) : outer_(outer) {}

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    return outer_->QueryInterface(iid, out);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return outer_->AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return outer_->Release(); }

 private:
  IUnknown* outer_;  // the controlling object, which holds us: no reference
};

// An instance of `T` aggregated into a controlling object. Its own IUnknown
// does not delegate; every other interface is the inner object's.
template <class T>
class CAggregatedInstance : public CCountedInstance<IUnknown> {
 public:
  explicit CAggregatedInstance(IUnknown* outer) : inner_(outer) {}

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    RETURN_HR_IF(E_POINTER, out == nullptr);
    *out = nullptr;
    if (!IsSameIdentifier(iid, IID_IUnknown)) {
      return QueryInterfaceFromTable(&inner_, T::GetInterfaceMap(), iid, out);
    }
    AddRef();
    *out = static_cast<IUnknown*>(this);
    return S_OK;
  }

  static HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) {
    return CreateAndQuery<CAggregatedInstance>(iid, out, outer);
  }

 private:
  CInnerObject<T> inner_;
};

// The instance creator of a class: aggregated when a controlling object is
// given, stand-alone otherwise.
template <class T>
HRESULT CreateInstanceChooser(IUnknown* outer, REFIID iid, void** out) {
  if (outer) return CAggregatedInstance<T>::CreateInstance(outer, iid, out);
  return CObjectInstance<T>::CreateInstance(outer, iid, out);
}

#endif  // BRISVEL_SERVER_INSTANCE_H_
