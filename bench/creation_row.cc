// Making and dropping an Agent through the library's exports, against the
// floor: new and delete of an object of the same shape.
#include "bench/agent_calls.h"
#include "bench/rows.h"
#include "support/brisvel_library.h"

namespace {

const TimingPlan kPlan = {0.02, 31};

// IAgent with a reference count and nothing else.
class CPlainAgent final : public IAgent {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    const bool known = iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IAgent;
    *out = known ? static_cast<IAgent*>(this) : nullptr;
    if (known) AddRef();
    return known ? S_OK : E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++count_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG count = --count_;
    if (count == 0) delete this;
    return count;
  }
  STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                      UINT*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP Run(BSTR) override { return E_NOTIMPL; }

 private:
  ULONG count_ = 1;
};

// Called through a pointer the compiler cannot see through, so that it
// cannot drop the allocation and the release.
IAgent* NewPlainAgent() { return new CPlainAgent; }
IAgent* (*volatile g_newPlainAgent)() = NewPlainAgent;

}  // namespace

RowResult MeasureCreation(BenchContext& context) {
  const BrisvelLibrary& library = *context.library;
  IAgent* probe = nullptr;
  const HRESULT created = CreateAgent(library, &probe);
  if (FAILED(created)) return RowError("an Agent from the class factory", created);
  probe->Release();

  RowResult row;
  row.timing = TimePair(Repeat([&] {
                          IClassFactory* factory = nullptr;
                          library.GetClassObject(CLSID_Agent, IID_IClassFactory,
                                                 reinterpret_cast<void**>(&factory));
                          IAgent* agent = nullptr;
                          factory->CreateInstance(nullptr, IID_IAgent,
                                                  reinterpret_cast<void**>(&agent));
                          agent->Release();
                          factory->Release();
                        }),
                        Repeat([] { g_newPlainAgent()->Release(); }), kPlan);
  return row;
}
