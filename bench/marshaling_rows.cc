// IAgent between two apartments through the library's own proxy/stub
// against the platform's type-library marshaler. The component runtime
// reads the prefix's own HKEY_CLASSES_ROOT for the interface's proxy/stub
// class, so the rows switch that value there between samples.
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "bench/agent_calls.h"
#include "bench/rows.h"
#include "bench/server_apartment.h"
#include "server/handle.h"

namespace {

const TimingPlan kCallPlan = {0.05, 61};
const TimingPlan kUnmarshalPlan = {0.03, 31};
const TimingPlan kCreateProxyPlan = {0.02, 21};

const char kProxyStubValueKey[] =
    "Interface\\{C6E71858-D9C2-41CA-A679-8FEF8553BCDC}\\ProxyStubClsid32";
const wchar_t kOurProxyStub[] = L"{C6E71858-D9C2-41CA-A679-8FEF8553BCDC}";
const wchar_t kTypeLibraryMarshaler[] = L"{00020424-0000-0000-C000-000000000046}";
// A class no one serves: marshaling must fail while it is the value.
const wchar_t kNoProxyStub[] = L"{B7C0E0A5-63C1-4E8C-9C43-5D1A2B3C4D5E}";

bool SelectProxyStub(const wchar_t* clsid) {
  char text[64];
  ::WideCharToMultiByte(CP_ACP, 0, clsid, -1, text, sizeof text, nullptr, nullptr);
  CKeyHandle key;
  if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, kProxyStubValueKey, 0, KEY_SET_VALUE, key.Receive()) !=
      ERROR_SUCCESS) {
    return false;
  }
  return ::RegSetValueExA(key.Get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                          static_cast<DWORD>(strlen(text) + 1)) == ERROR_SUCCESS;
}

std::string Narrow(const wchar_t* text) {
  char narrow[64];
  ::WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, sizeof narrow, nullptr, nullptr);
  return narrow;
}

// One new proxy in this apartment for an Agent of `server`, made by the
// proxy/stub that `clsid` names.
HRESULT NewProxy(CServerApartment& server, const wchar_t* clsid, IAgent** proxy) {
  *proxy = nullptr;
  if (!SelectProxyStub(clsid)) return E_ACCESSDENIED;
  std::vector<IStream*> streams;
  HRESULT result = server.MarshalAgents(1, IID_IAgent, &streams);
  if (SUCCEEDED(result)) {
    result = ::CoUnmarshalInterface(streams[0], IID_IAgent, reinterpret_cast<void**>(proxy));
  }
  for (IStream* stream : streams) stream->Release();
  return result;
}

// One new proxy for the interface `iid` of an Agent of `server`, with the
// proxy/stub `clsid` serving IAgent; only the unmarshaling is timed, not
// the marshaling before it or the release after it.
TimedOperation UnmarshalOnce(CServerApartment& server, const wchar_t* clsid, REFIID iid) {
  return [&server, clsid, &iid] {
    SelectProxyStub(clsid);
    std::vector<IStream*> streams;
    server.MarshalAgents(1, iid, &streams);
    if (streams.empty()) return 0.0;
    IUnknown* proxy = nullptr;
    const double start = Now();
    ::CoUnmarshalInterface(streams[0], iid, reinterpret_cast<void**>(&proxy));
    const double took = Now() - start;
    if (proxy) proxy->Release();
    streams[0]->Release();
    return took;
  };
}

// What a proxy made outside the runtime's proxy manager is given as its
// controlling object; it counts nothing.
class COuterUnknown : public IUnknown {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    *out = iid == IID_IUnknown ? static_cast<IUnknown*>(this) : nullptr;
    return *out ? S_OK : E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 1; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
};

COuterUnknown g_outer;

// IPSFactoryBuffer::CreateProxy for IAgent from the proxy/stub `clsid`,
// and the release of what it made: the proxy/stub's own share of a new
// proxy. Null when the class does not give a factory.
Sampler CreateProxySampler(const wchar_t* clsid, CInterfacePtr<IPSFactoryBuffer>* factory) {
  CLSID id;
  if (FAILED(::CLSIDFromString(const_cast<wchar_t*>(clsid), &id)) ||
      FAILED(::CoGetClassObject(id, CLSCTX_INPROC_SERVER, nullptr, IID_IPSFactoryBuffer,
                                reinterpret_cast<void**>(factory->Receive())))) {
    return nullptr;
  }
  IPSFactoryBuffer* buffer = factory->Get();
  return Repeat([buffer] {
    IRpcProxyBuffer* proxy = nullptr;
    void* agent = nullptr;
    buffer->CreateProxy(&g_outer, IID_IAgent, &proxy, &agent);
    if (agent) static_cast<IUnknown*>(agent)->Release();
    if (proxy) proxy->Release();
  });
}

// Both proxy/stubs serve IAgent, and the runtime reads the registry value
// anew for each object (a bogus class makes marshaling fail), so that the
// samples below really compare the two.
std::string CheckSwitching(CServerApartment& server) {
  for (const wchar_t* clsid : {kOurProxyStub, kTypeLibraryMarshaler}) {
    CInterfacePtr<IAgent> proxy;
    const HRESULT made = NewProxy(server, clsid, proxy.Receive());
    if (FAILED(made)) return "a proxy through " + Narrow(clsid) + ": " + HexResult(made);
    CBstr link(::SysAllocString(kRefusedLink));
    const HRESULT answer = proxy.Get()->Run(link.Get());
    if (answer != E_INVALIDARG) return "Run through " + Narrow(clsid) + ": " + HexResult(answer);
  }
  CInterfacePtr<IAgent> none;
  const HRESULT made = NewProxy(server, kNoProxyStub, none.Receive());
  SelectProxyStub(kOurProxyStub);
  if (SUCCEEDED(made)) return "the runtime did not read the proxy/stub class anew";
  return "";
}

// What bounds the row: the runtime's own share of every new proxy (one for
// IUnknown alone needs no proxy/stub of IAgent), and the proxy/stubs' own
// share (making the IAgent proxy outside the runtime).
std::string UnmarshalNote(CServerApartment& server) {
  const PairTiming floor = TimeInTurns(UnmarshalOnce(server, kOurProxyStub, IID_IAgent),
                                       UnmarshalOnce(server, kOurProxyStub, IID_IUnknown),
                                       kUnmarshalPlan);
  CInterfacePtr<IPSFactoryBuffer> ours, theirs;
  const Sampler oursCreate = CreateProxySampler(kOurProxyStub, &ours);
  const Sampler theirCreate = CreateProxySampler(kTypeLibraryMarshaler, &theirs);
  if (!oursCreate || !theirCreate) return "(the proxy/stub factories could not be had)";
  const PairTiming create = TimePair(oursCreate, theirCreate, kCreateProxyPlan);
  char note[400];
  snprintf(note, sizeof note,
           "Bounds: a new proxy for an Agent's IUnknown alone, the runtime's own share of every "
           "new proxy, takes %.1f us (IAgent through ours: %.2fx that). "
           "IPSFactoryBuffer::CreateProxy for IAgent alone: ours %.1f us, the type-library "
           "marshaler's %.1f us (%.1fx faster).",
           floor.against / 1e3, floor.ratio, create.ours / 1e3, create.against / 1e3,
           1 / create.ratio);
  return note;
}

}  // namespace

RowResult MeasureCrossApartmentCall(BenchContext& context) {
  CServerApartment server(*context.library);
  if (!server.Ready()) return RowError("the server apartment", E_FAIL);
  const std::string wrong = CheckSwitching(server);
  if (!wrong.empty()) return RowError(wrong, E_FAIL);

  CInterfacePtr<IAgent> ours, theirs;
  HRESULT made = NewProxy(server, kOurProxyStub, ours.Receive());
  if (SUCCEEDED(made)) made = NewProxy(server, kTypeLibraryMarshaler, theirs.Receive());
  SelectProxyStub(kOurProxyStub);
  if (FAILED(made)) return RowError("the two proxies", made);

  CBstr link(::SysAllocString(kRefusedLink));
  BSTR text = link.Get();
  IAgent* oursProxy = ours.Get();
  IAgent* theirProxy = theirs.Get();
  RowResult row;
  row.timing = TimeInTurns(Timed([=] { oursProxy->Run(text); }),
                           Timed([=] { theirProxy->Run(text); }), kCallPlan);
  return row;
}

RowResult MeasureCrossApartmentUnmarshal(BenchContext& context) {
  CServerApartment server(*context.library);
  if (!server.Ready()) return RowError("the server apartment", E_FAIL);
  const std::string wrong = CheckSwitching(server);
  if (!wrong.empty()) return RowError(wrong, E_FAIL);

  RowResult row;
  row.timing = TimeInTurns(UnmarshalOnce(server, kOurProxyStub, IID_IAgent),
                           UnmarshalOnce(server, kTypeLibraryMarshaler, IID_IAgent),
                           kUnmarshalPlan);
  row.note = UnmarshalNote(server);
  SelectProxyStub(kOurProxyStub);
  return row;
}
