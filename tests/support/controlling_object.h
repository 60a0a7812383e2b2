// A controlling object that aggregates an Agent the way a client class
// would: it keeps the inner object's non-delegating IUnknown and answers
// IAgent and IDispatch from it.
#ifndef BRISVEL_TESTS_SUPPORT_CONTROLLING_OBJECT_H_
#define BRISVEL_TESTS_SUPPORT_CONTROLLING_OBJECT_H_

#include <windows.h>

#include "idl/brisvel.h"

class ControllingObject : public IUnknown {
 public:
  ControllingObject() = default;
  // Gives the inner object back on every path, an early ASSERT's included.
  virtual ~ControllingObject() { ReleaseInner(); }
  ControllingObject(const ControllingObject&) = delete;
  ControllingObject& operator=(const ControllingObject&) = delete;

  HRESULT Aggregate(IClassFactory* factory) {
    return factory->CreateInstance(this, IID_IUnknown, reinterpret_cast<void**>(&inner_));
  }
  void ReleaseInner() {
    if (inner_) inner_->Release();
    inner_ = nullptr;
  }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown)) {
      *out = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    if (IsEqualIID(iid, IID_IAgent) || IsEqualIID(iid, IID_IDispatch)) {
      return inner_->QueryInterface(iid, out);
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++count_; }
  STDMETHODIMP_(ULONG) Release() override { return --count_; }

  IUnknown* inner_ = nullptr;
  ULONG count_ = 1;
};

#endif  // BRISVEL_TESTS_SUPPORT_CONTROLLING_OBJECT_H_
