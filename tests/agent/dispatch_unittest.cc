// Late-bound calls on Agent: the description served from the registered type
// library, single names from the cache, Invoke reaching Run on the very
// object it was called on, and the holder's life from the first dispatch call
// to the module's unload.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "agent/agent.h"
#include "agent/type_info_holder.h"
#include "server/handle.h"
#include "server/instance.h"
#include "server/memory.h"
#include "server/type_block.h"
#include "support/bare_agent.h"
#include "support/case_name.h"
#include "support/controlling_object.h"
#include "support/invoke.h"
#include "support/module_lifetime.h"
#include "support/platform_override.h"
#include "support/recording_shell.h"
#include "support/registry_override.h"
#include "support/type_library.h"

namespace {

// Functions of IAgent's dispatch description: IUnknown's 3, IDispatch's 4, Run.
const LONG kAgentFunctions = 8;
const DISPID kRun = 1;

std::vector<const void*> g_ranOn;  // the objects whose Run ran

// A CAgent that writes down whose Run ran, then runs it.
class WitnessedAgent : public BareAgent {
 public:
  STDMETHODIMP Run(BSTR url) override {
    g_ranOn.push_back(this);
    return CAgent::Run(url);
  }
};

ULONG References(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

GUID DescribedInterface(ITypeInfo* info) {
  CTypeAttributes attributes(info);
  EXPECT_EQ(S_OK, info->GetTypeAttr(attributes.Receive()));
  if (!attributes.Get()) return GUID_NULL;
  return attributes->guid;
}

// IAgent's description read straight from Brisvel.DLL, not through a holder.
CInterfacePtr<ITypeInfo> LoadAgentDescription() {
  CInterfacePtr<ITypeLib> library;
  EXPECT_EQ(S_OK, LoadBrisvelTypeLibrary(library.Receive()));
  CInterfacePtr<ITypeInfo> info;
  if (library) {
    EXPECT_EQ(S_OK, library.Get()->GetTypeInfoOfGuid(IID_IAgent, info.Receive()));
  }
  return info;
}

// What the type-information service itself answers when asked directly.
HRESULT LoaderFailure() {
  CInterfacePtr<ITypeLib> library;
  const HRESULT result = ::LoadRegTypeLib(LIBID_Vintaro, 1, 0, 0, library.Receive());
  EXPECT_TRUE(FAILED(result));
  return result;
}

LPOLESTR Name(const wchar_t* text) { return const_cast<LPOLESTR>(text); }

// Every test runs in a module lifetime of its own and in a private view of
// HKEY_CLASSES_ROOT, so the shared holder starts empty each time.
class DispatchTest : public ::testing::Test {
 protected:
  DispatchTest() {
    g_ranOn.clear();
    ResetShellRecord();
    platform_->ShellExecuteA = RecordingShell;
  }
  // A test in which no term function could be registered leaves the holder
  // loaded; the next one must not find it so.
  ~DispatchTest() override { CTypeInfoHolder::ReleaseTypeInfo(&g_agentTypeInfo); }

  DISPID IdOf(const wchar_t* name) {
    LPOLESTR names[] = {Name(name)};
    DISPID dispid = 12345;
    EXPECT_EQ(S_OK, agent_.GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid));
    return dispid;
  }

  ScopedRegistryOverride classes_{HKEY_CLASSES_ROOT};
  // A holder other than the agent's; it outlives the module that may release it.
  CTypeInfoHolder local_ = {&IID_IAgent, &LIBID_Vintaro, 1, 0, nullptr, nullptr, 0};
  ScopedModuleLifetime module_;
  ScopedPlatformCalls platform_;
  WitnessedAgent agent_;
};

class RegisteredDispatchTest : public DispatchTest {
 protected:
  void SetUp() override { ASSERT_EQ(S_OK, RegisterBrisvelTypeLibrary()); }
};

TEST_F(DispatchTest, TypeInfoCountIsOneAndLoadsNothing) {
  UINT count = 0;
  EXPECT_EQ(S_OK, agent_.GetTypeInfoCount(&count));
  EXPECT_EQ(1u, count);
  EXPECT_EQ(E_POINTER, agent_.GetTypeInfoCount(nullptr));
  EXPECT_EQ(nullptr, g_agentTypeInfo.LoadedTypeInfo());
  EXPECT_EQ(0u, module_.TermFunctionCount());
}

TEST_F(RegisteredDispatchTest, NullTypeInfoOutPointerLoadsNothing) {
  EXPECT_EQ(E_POINTER, agent_.GetTypeInfo(0, 0, nullptr));
  EXPECT_EQ(nullptr, g_agentTypeInfo.LoadedTypeInfo());
  EXPECT_EQ(0u, module_.TermFunctionCount());
}

struct TypeInfoRequest {
  UINT index;
  LCID locale;
};

TEST_F(RegisteredDispatchTest, EveryIndexAndLocaleGetsTheFirstDescriptionWithOneReference) {
  CInterfacePtr<ITypeInfo> first;
  ASSERT_EQ(S_OK, agent_.GetTypeInfo(0, 0x0407, first.Receive()));
  ASSERT_TRUE(first);
  EXPECT_EQ(IID_IAgent, DescribedInterface(first.Get()));
  const TypeInfoRequest kRequests[] = {
      {0, 0}, {1, 0x0409}, {5, 0x0407}, {0, LOCALE_USER_DEFAULT}, {0xFFFFFFFF, 0x0411}};
  for (const TypeInfoRequest& request : kRequests) {
    const ULONG before = References(first.Get());
    CInterfacePtr<ITypeInfo> info;
    EXPECT_EQ(S_OK, agent_.GetTypeInfo(request.index, request.locale, info.Receive()))
        << "index " << request.index;
    EXPECT_EQ(first.Get(), info.Get()) << "index " << request.index;
    EXPECT_EQ(before + 1, References(first.Get())) << "index " << request.index;
  }
  first.Reset();
  EXPECT_EQ(1u, module_.TermFunctionCount());
}

TEST_F(RegisteredDispatchTest, RunResolvesToOneFromTheCache) {
  EXPECT_EQ(kRun, IdOf(L"Run"));
  const NameCacheEntry* cache = g_agentTypeInfo.LoadedNameCache();
  ASSERT_NE(nullptr, cache);
  ASSERT_EQ(kAgentFunctions, g_agentTypeInfo.nameCount);
  EXPECT_STREQ(L"Run", cache[kAgentFunctions - 1].name);
  EXPECT_EQ(3u, cache[kAgentFunctions - 1].length);
  EXPECT_EQ(kRun, cache[kAgentFunctions - 1].dispid);
}

struct NameRequest {
  const char* name;
  std::vector<const wchar_t*> names;
};

// Whatever the agent answers, the description answers the same when asked
// itself; only the exact single name "Run" is pinned, to 1.
const NameRequest kNameRequests[] = {
    {"exact", {L"Run"}},      {"lower case", {L"run"}},
    {"upper case", {L"RUN"}}, {"method and parameter", {L"Run", L"URL"}},
    {"unknown", {L"Walk"}},   {"unknown parameter", {L"Run", L"Link"}},
    {"prefix", {L"Ru"}},      {"longer", {L"Runs"}},
    {"empty", {L""}},         {"inherited", {L"Invoke"}},
    {"no names", {}},
};

class NameRequestTest : public RegisteredDispatchTest,
                        public ::testing::WithParamInterface<NameRequest> {};

TEST_P(NameRequestTest, AgentAnswersAsTheDescription) {
  std::vector<LPOLESTR> names;
  for (const wchar_t* name : GetParam().names) names.push_back(Name(name));
  const UINT count = static_cast<UINT>(names.size());
  names.push_back(nullptr);  // a valid array even when no name is asked for
  std::vector<DISPID> fromAgent(count + 1, 12345);
  std::vector<DISPID> fromDescription(count + 1, 12345);

  const HRESULT agentResult =
      agent_.GetIDsOfNames(IID_NULL, names.data(), count, 0x0409, fromAgent.data());
  CInterfacePtr<ITypeInfo> description = LoadAgentDescription();
  ASSERT_TRUE(description);
  const HRESULT descriptionResult =
      description.Get()->GetIDsOfNames(names.data(), count, fromDescription.data());
  description.Reset();

  EXPECT_EQ(descriptionResult, agentResult);
  EXPECT_EQ(fromDescription, fromAgent);
  if (count == 1 && std::wstring(L"Run") == names[0]) {
    EXPECT_EQ(S_OK, agentResult);
    EXPECT_EQ(kRun, fromAgent[0]);
  }
}

INSTANTIATE_TEST_SUITE_P(Names, NameRequestTest, ::testing::ValuesIn(kNameRequests), CaseName());

// The description of IAgent with some of its answers refused, counting the
// lookups that reach it.
class CWatchedTypeInfo : public ITypeInfo {
 public:
  explicit CWatchedTypeInfo(ITypeInfo* real) : real_(real) {}
  ~CWatchedTypeInfo() { real_->Release(); }

  bool refuseTypeAttr = false;
  UINT refusedFunction = 0xFFFFFFFF;      // index whose description is refused
  MEMBERID refusedName = DISPID_UNKNOWN;  // member whose name is refused
  int lookups = 0;                        // GetIDsOfNames calls that reached it
  ULONG references = 1;

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    const bool known = iid == IID_IUnknown || iid == IID_ITypeInfo;
    *out = known ? this : nullptr;
    if (known) AddRef();
    return known ? S_OK : E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
  STDMETHODIMP_(ULONG) Release() override { return --references; }

  STDMETHODIMP GetTypeAttr(TYPEATTR** out) override {
    return refuseTypeAttr ? E_OUTOFMEMORY : real_->GetTypeAttr(out);
  }
  STDMETHODIMP GetFuncDesc(UINT index, FUNCDESC** out) override {
    return index == refusedFunction ? TYPE_E_ELEMENTNOTFOUND : real_->GetFuncDesc(index, out);
  }
  STDMETHODIMP GetDocumentation(MEMBERID member, BSTR* name, BSTR* text, DWORD* context,
                                BSTR* file) override {
    if (member == refusedName) return E_OUTOFMEMORY;
    return real_->GetDocumentation(member, name, text, context, file);
  }
  STDMETHODIMP GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) override {
    ++lookups;
    return real_->GetIDsOfNames(names, count, ids);
  }

  STDMETHODIMP GetTypeComp(ITypeComp** out) override { return real_->GetTypeComp(out); }
  STDMETHODIMP GetVarDesc(UINT index, VARDESC** out) override {
    return real_->GetVarDesc(index, out);
  }
  STDMETHODIMP GetNames(MEMBERID member, BSTR* names, UINT size, UINT* count) override {
    return real_->GetNames(member, names, size, count);
  }
  STDMETHODIMP GetRefTypeOfImplType(UINT index, HREFTYPE* out) override {
    return real_->GetRefTypeOfImplType(index, out);
  }
  STDMETHODIMP GetImplTypeFlags(UINT index, INT* out) override {
    return real_->GetImplTypeFlags(index, out);
  }
  STDMETHODIMP Invoke(PVOID instance, MEMBERID member, WORD flags, DISPPARAMS* parameters,
                      VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override {
    return real_->Invoke(instance, member, flags, parameters, result, exception, argumentError);
  }
  STDMETHODIMP GetDllEntry(MEMBERID member, INVOKEKIND kind, BSTR* library, BSTR* name,
                           WORD* ordinal) override {
    return real_->GetDllEntry(member, kind, library, name, ordinal);
  }
  STDMETHODIMP GetRefTypeInfo(HREFTYPE type, ITypeInfo** out) override {
    return real_->GetRefTypeInfo(type, out);
  }
  STDMETHODIMP AddressOfMember(MEMBERID member, INVOKEKIND kind, PVOID* out) override {
    return real_->AddressOfMember(member, kind, out);
  }
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, PVOID* out) override {
    return real_->CreateInstance(outer, iid, out);
  }
  STDMETHODIMP GetMops(MEMBERID member, BSTR* out) override { return real_->GetMops(member, out); }
  STDMETHODIMP GetContainingTypeLib(ITypeLib** out, UINT* index) override {
    return real_->GetContainingTypeLib(out, index);
  }
  STDMETHODIMP_(void) ReleaseTypeAttr(TYPEATTR* block) override { real_->ReleaseTypeAttr(block); }
  STDMETHODIMP_(void) ReleaseFuncDesc(FUNCDESC* block) override { real_->ReleaseFuncDesc(block); }
  STDMETHODIMP_(void) ReleaseVarDesc(VARDESC* block) override { real_->ReleaseVarDesc(block); }

 private:
  ITypeInfo* real_;
};

// A holder made ready by hand around a watched description, so that what
// reaches the description can be seen.
class NameCacheTest : public DispatchTest {
 protected:
  NameCacheTest() : watched_(LoadAgentDescription().Detach()) {}
  ~NameCacheTest() override {
    CTypeInfoHolder::ReleaseTypeInfo(&local_);
    EXPECT_EQ(1u, watched_.references) << "the holder must give back what it took";
  }

  // The holder as a load publishes it: the description first, then the cache.
  void Publish() {
    watched_.AddRef();
    local_.typeInfo = &watched_;
    EXPECT_EQ(S_OK, local_.BuildNameCache(&watched_));
  }

  HRESULT Map(std::vector<const wchar_t*> names, DISPID* dispids) {
    std::vector<LPOLESTR> array;
    for (const wchar_t* name : names) array.push_back(Name(name));
    return local_.MapNames(array.data(), static_cast<UINT>(names.size()), 0, dispids);
  }

  CWatchedTypeInfo watched_;
};

struct CacheLookupCase {
  const wchar_t* name;
  DISPID expected;
  bool reachesDescription;
};

TEST_F(NameCacheTest, OnlyExactSpellingsAreAnsweredWithoutTheDescription) {
  Publish();
  const CacheLookupCase kCases[] = {
      {L"Run", kRun, false}, {L"QueryInterface", 0x60000000, false}, {L"run", kRun, true},
      {L"RUN", kRun, true},  {L"Ru", DISPID_UNKNOWN, true},
  };
  for (const CacheLookupCase& c : kCases) {
    watched_.lookups = 0;
    DISPID dispid = 12345;
    Map({c.name}, &dispid);
    EXPECT_EQ(c.expected, dispid) << c.name;
    EXPECT_EQ(c.reachesDescription ? 1 : 0, watched_.lookups) << c.name;
  }
}

TEST_F(NameCacheTest, SeveralNamesAlwaysGoToTheDescription) {
  Publish();
  DISPID dispids[2] = {12345, 12345};
  EXPECT_EQ(S_OK, Map({L"Run", L"URL"}, dispids));
  EXPECT_EQ(kRun, dispids[0]);
  EXPECT_EQ(0, dispids[1]);
  EXPECT_EQ(1, watched_.lookups);
}

TEST_F(NameCacheTest, OfTwoEntriesOfOneNameTheHigherIndexWins) {
  watched_.AddRef();
  local_.typeInfo = &watched_;
  auto* cache = static_cast<NameCacheEntry*>(HeapAllocate(2 * sizeof(NameCacheEntry)));
  ASSERT_NE(nullptr, cache);
  cache[0] = {::SysAllocString(L"Run"), 3, 7};
  cache[1] = {::SysAllocString(L"Run"), 3, 9};
  local_.nameCount = 2;
  local_.nameCache = cache;
  DISPID dispid = 12345;
  EXPECT_EQ(S_OK, Map({L"Run"}, &dispid));
  EXPECT_EQ(9, dispid);
  EXPECT_EQ(0, watched_.lookups);
}

struct CacheFault {
  const char* name;
  bool refuseTypeAttr;
  UINT refusedFunction;
  MEMBERID refusedName;
};

const CacheFault kCacheFaults[] = {
    {"nothing refused", false, 0xFFFFFFFF, DISPID_UNKNOWN},
    {"attributes refused", true, 0xFFFFFFFF, DISPID_UNKNOWN},
    {"description of Run refused", false, kAgentFunctions - 1, DISPID_UNKNOWN},
    {"name of Run refused", false, 0xFFFFFFFF, kRun},
    {"description of AddRef refused", false, 1, DISPID_UNKNOWN},
};

class CacheFaultTest : public NameCacheTest, public ::testing::WithParamInterface<CacheFault> {};

TEST_P(CacheFaultTest, UnreadablePartsStayEmptyAndNamesStillResolve) {
  const CacheFault& fault = GetParam();
  watched_.refuseTypeAttr = fault.refuseTypeAttr;
  watched_.refusedFunction = fault.refusedFunction;
  watched_.refusedName = fault.refusedName;
  Publish();

  const NameCacheEntry* cache = local_.LoadedNameCache();
  ASSERT_EQ(fault.refuseTypeAttr, cache == nullptr);
  for (LONG i = 0; cache && i < local_.nameCount; ++i) {
    CInterfacePtr<ITypeInfo> description = LoadAgentDescription();
    ASSERT_TRUE(description);
    CFunctionDescription function(description.Get());
    ASSERT_EQ(S_OK, description.Get()->GetFuncDesc(i, function.Receive()));
    const MEMBERID member = function->memid;
    CBstr name;
    description.Get()->GetDocumentation(member, name.Receive(), nullptr, nullptr, nullptr);

    const bool refused =
        static_cast<UINT>(i) == fault.refusedFunction || member == fault.refusedName;
    EXPECT_STREQ(refused ? nullptr : name.Get(), cache[i].name) << "entry " << i;
    EXPECT_EQ(refused ? 0u : ::SysStringLen(name.Get()), cache[i].length) << "entry " << i;
    EXPECT_EQ(refused ? DISPID_UNKNOWN : member, cache[i].dispid) << "entry " << i;
  }

  DISPID dispid = 12345;
  EXPECT_EQ(S_OK, Map({L"Run"}, &dispid));
  EXPECT_EQ(kRun, dispid);
  // An entry that could not be read has no name and answers no name, not
  // even the empty one.
  dispid = 12345;
  EXPECT_EQ(DISP_E_UNKNOWNNAME, Map({L""}, &dispid));
}

INSTANTIATE_TEST_SUITE_P(Faults, CacheFaultTest, ::testing::ValuesIn(kCacheFaults), CaseName());

TEST_F(NameCacheTest, NoStorageForTheCacheKeepsTheCountAndNoCache) {
  platform_->HeapAllocate = [](size_t) -> void* { return nullptr; };
  watched_.AddRef();
  local_.typeInfo = &watched_;
  EXPECT_EQ(E_OUTOFMEMORY, local_.BuildNameCache(&watched_));
  EXPECT_EQ(nullptr, local_.LoadedNameCache());
  EXPECT_EQ(kAgentFunctions, local_.nameCount);
}

enum class Arguments { kLink, kNone, kTwoLinks, kNullObject };

// Arguments of one Invoke, owned for the length of a test.
class CInvokeArguments {
 public:
  CInvokeArguments(Arguments kind, const wchar_t* link) {
    const int count = kind == Arguments::kNone ? 0 : kind == Arguments::kTwoLinks ? 2 : 1;
    for (int i = 0; i < count; ++i) {
      VARIANT value;
      ::VariantInit(&value);
      if (kind == Arguments::kNullObject) {
        value.vt = VT_DISPATCH;
        value.pdispVal = nullptr;
      } else {
        value.vt = VT_BSTR;
        value.bstrVal = ::SysAllocString(link);
      }
      values_.push_back(value);
    }
    parameters_ = {values_.data(), nullptr, static_cast<UINT>(values_.size()), 0};
  }
  ~CInvokeArguments() {
    for (VARIANT& value : values_) ::VariantClear(&value);
  }

  DISPPARAMS* Get() { return &parameters_; }

 private:
  std::vector<VARIANT> values_;
  DISPPARAMS parameters_;
};

TEST_F(RegisteredDispatchTest, InvokeRunsRunOnTheVeryObjectItWasCalledOn) {
  WitnessedAgent other;
  CInvokeArguments arguments(Arguments::kLink, L"ed2k://|file|a.iso|1|AB|/");
  for (WitnessedAgent* target : {&other, &agent_, &other}) {
    g_ranOn.clear();
    g_shellCalls.clear();
    const InvokeOutcome outcome = OutcomeOf([&](auto... out) {
      return target->Invoke(kRun, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, arguments.Get(),
                            out...);
    });
    EXPECT_EQ(S_OK, outcome.result);
    EXPECT_EQ(std::vector<const void*>{target}, g_ranOn);
    EXPECT_EQ(std::vector<std::string>{"ed2k://|file|a.iso|1|AB|/"}, RecordedShellFiles());
  }
}

TEST_F(RegisteredDispatchTest, InvokeOnAnAggregatedAgentRunsRunOnItsInnerObject) {
  ControllingObject outer;
  ASSERT_EQ(S_OK, CAggregatedInstance<WitnessedAgent>::CreateInstance(
                      &outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner_)));
  CInterfacePtr<IDispatch> dispatch;
  ASSERT_EQ(S_OK,
            outer.QueryInterface(IID_IDispatch, reinterpret_cast<void**>(dispatch.Receive())));
  EXPECT_NE(static_cast<void*>(outer.inner_), static_cast<void*>(dispatch.Get()));

  LPOLESTR names[] = {Name(L"Run")};
  DISPID dispid = 12345;
  EXPECT_EQ(S_OK, dispatch.Get()->GetIDsOfNames(IID_NULL, names, 1, 0, &dispid));
  EXPECT_EQ(kRun, dispid);
  CInvokeArguments arguments(Arguments::kLink, L"ed2k:inner");
  EXPECT_EQ(S_OK, dispatch.Get()->Invoke(kRun, IID_NULL, 0, DISPATCH_METHOD, arguments.Get(),
                                         nullptr, nullptr, nullptr));
  // The inner object's one vtable is at its start, where its IDispatch is.
  EXPECT_EQ(std::vector<const void*>{dispatch.Get()}, g_ranOn);
  EXPECT_EQ(std::vector<std::string>{"ed2k:inner"}, RecordedShellFiles());

  dispatch.Reset();
  outer.ReleaseInner();
  EXPECT_EQ(1u, outer.count_);
}

struct InvokeCase {
  const char* name;
  DISPID dispid;
  Arguments arguments;
  const wchar_t* link;
  INT_PTR shellAnswer;
  HRESULT runResult;  // Run's own failure; S_OK where it succeeds or does not run
};

const InvokeCase kInvokeCases[] = {
    {"accepted link", kRun, Arguments::kLink, L"ed2k:x", 42, S_OK},
    {"refused link", kRun, Arguments::kLink, L"http://x", 42, E_INVALIDARG},
    {"no handler for the scheme", kRun, Arguments::kLink, L"ed2k:x", 31, HRESULT(0x8007001F)},
    {"shell out of resources", kRun, Arguments::kLink, L"ed2k:x", 0, E_FAIL},
    {"negative shell answer", kRun, Arguments::kLink, L"ed2k:x", -5, HRESULT(-5)},
    {"missing argument", kRun, Arguments::kNone, nullptr, 42, S_OK},
    {"one argument too many", kRun, Arguments::kTwoLinks, L"ed2k:x", 42, S_OK},
    {"argument of the wrong type", kRun, Arguments::kNullObject, nullptr, 42, S_OK},
    {"unknown member", 2, Arguments::kLink, L"ed2k:x", 42, S_OK},
};

class InvokeCaseTest : public RegisteredDispatchTest,
                       public ::testing::WithParamInterface<InvokeCase> {};

TEST_P(InvokeCaseTest, ReportsWhatTheTypeInformationReports) {
  const InvokeCase& c = GetParam();
  g_shellAnswer = c.shellAnswer;
  CInvokeArguments arguments(c.arguments, c.link);
  const InvokeOutcome fromAgent = OutcomeOf([&](auto... out) {
    return agent_.Invoke(c.dispid, IID_NULL, 0x0409, DISPATCH_METHOD, arguments.Get(), out...);
  });
  const std::vector<const void*> ranOn = g_ranOn;

  CInterfacePtr<ITypeInfo> description = LoadAgentDescription();
  ASSERT_TRUE(description);
  const InvokeOutcome direct = OutcomeOf([&](auto... out) {
    return description.Get()->Invoke(static_cast<IAgent*>(&agent_), c.dispid, DISPATCH_METHOD,
                                     arguments.Get(), out...);
  });
  description.Reset();

  EXPECT_EQ(direct.result, fromAgent.result);
  EXPECT_EQ(direct.scode, fromAgent.scode);
  EXPECT_EQ(direct.source, fromAgent.source);
  EXPECT_EQ(direct.description, fromAgent.description);
  EXPECT_EQ(direct.argumentError, fromAgent.argumentError);
  // Run's own failure travels to the caller, as the result or as the
  // exception's code.
  if (FAILED(c.runResult)) {
    EXPECT_TRUE(fromAgent.result == c.runResult ||
                (fromAgent.result == DISP_E_EXCEPTION && fromAgent.scode == c.runResult))
        << std::hex << fromAgent.result << " " << fromAgent.scode;
    EXPECT_EQ(1u, ranOn.size());
  }
  // Run ran through the agent exactly when it ran when called directly.
  EXPECT_EQ(ranOn.size() * 2, g_ranOn.size());
}

INSTANTIATE_TEST_SUITE_P(Calls, InvokeCaseTest, ::testing::ValuesIn(kInvokeCases), CaseName());

TEST_F(DispatchTest, UnregisteredLibraryFailsEveryCallUntilItIsRegistered) {
  const HRESULT failure = LoaderFailure();
  for (int attempt = 0; attempt < 2; ++attempt) {
    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
    EXPECT_EQ(failure, agent_.GetTypeInfo(0, 0, &info));
    EXPECT_EQ(nullptr, info);

    LPOLESTR names[] = {Name(L"Run")};
    DISPID dispid = 12345;
    EXPECT_EQ(failure, agent_.GetIDsOfNames(IID_NULL, names, 1, 0, &dispid));
    EXPECT_EQ(12345, dispid);

    CInvokeArguments arguments(Arguments::kLink, L"ed2k:x");
    EXPECT_EQ(failure, agent_.Invoke(kRun, IID_NULL, 0, DISPATCH_METHOD, arguments.Get(), nullptr,
                                     nullptr, nullptr));
  }
  EXPECT_TRUE(g_ranOn.empty());
  EXPECT_EQ(0u, module_.TermFunctionCount());

  ASSERT_EQ(S_OK, RegisterBrisvelTypeLibrary());
  EXPECT_EQ(kRun, IdOf(L"Run"));
  EXPECT_EQ(1u, module_.TermFunctionCount());
}

TEST_F(RegisteredDispatchTest, InterfaceMissingFromTheLibraryGivesTheLookupsFailure) {
  CInterfacePtr<ITypeLib> library;
  ASSERT_EQ(S_OK, LoadBrisvelTypeLibrary(library.Receive()));
  CInterfacePtr<ITypeInfo> none;
  const HRESULT failure = library.Get()->GetTypeInfoOfGuid(IID_IClassFactory, none.Receive());
  library.Reset();
  ASSERT_TRUE(FAILED(failure));

  local_.iid = &IID_IClassFactory;
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_EQ(failure, local_.CopyTypeInfo(0, &info));
  EXPECT_EQ(nullptr, info);
  EXPECT_EQ(0u, module_.TermFunctionCount());
}

struct HeapRefusal {
  const char* name;
  bool refuseTermNode;
  bool refuseCache;
};

size_t g_refusedSizes[2];

void* RefusingHeap(size_t bytes) {
  if (bytes == g_refusedSizes[0] || bytes == g_refusedSizes[1]) return nullptr;
  return DefaultPlatformCalls().HeapAllocate(bytes);
}

class HeapRefusalTest : public RegisteredDispatchTest,
                        public ::testing::WithParamInterface<HeapRefusal> {};

TEST_P(HeapRefusalTest, DispatchWorksAndTheCacheIsBuiltLater) {
  const HeapRefusal& refusal = GetParam();
  g_refusedSizes[0] = refusal.refuseTermNode ? sizeof(CServerModule::TermNode) : 0;
  g_refusedSizes[1] = refusal.refuseCache ? kAgentFunctions * sizeof(NameCacheEntry) : 0;
  platform_->HeapAllocate = RefusingHeap;

  EXPECT_EQ(kRun, IdOf(L"Run"));
  EXPECT_NE(nullptr, g_agentTypeInfo.LoadedTypeInfo());
  EXPECT_EQ(refusal.refuseCache, g_agentTypeInfo.LoadedNameCache() == nullptr);
  const size_t termFunctions = refusal.refuseTermNode ? 0 : 1;
  EXPECT_EQ(termFunctions, module_.TermFunctionCount());

  platform_->HeapAllocate = DefaultPlatformCalls().HeapAllocate;
  EXPECT_EQ(kRun, IdOf(L"Run"));
  EXPECT_NE(nullptr, g_agentTypeInfo.LoadedNameCache());
  EXPECT_EQ(termFunctions, module_.TermFunctionCount()) << "one registration per load";
}

INSTANTIATE_TEST_SUITE_P(Refusals, HeapRefusalTest,
                         ::testing::Values(HeapRefusal{"cache", false, true},
                                           HeapRefusal{"term_function", true, false},
                                           HeapRefusal{"both", true, true}),
                         CaseName());

// One apartment's first dispatch call, made when the start event is set.
struct FirstCall {
  HANDLE start;
  WitnessedAgent agent;
  HRESULT result = E_FAIL;
  DISPID dispid = 12345;
  ITypeInfo* info = nullptr;
};

DWORD WINAPI MakeFirstCall(void* argument) {
  auto* call = static_cast<FirstCall*>(argument);
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ::WaitForSingleObject(call->start, INFINITE);
  LPOLESTR names[] = {Name(L"Run")};
  call->result = call->agent.GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &call->dispid);
  call->agent.GetTypeInfo(0, LOCALE_USER_DEFAULT, &call->info);
  ::CoUninitialize();
  return 0;
}

TEST_F(RegisteredDispatchTest, ConcurrentFirstCallsLoadOnceAndRegisterOneTermFunction) {
  const int kThreads = 12;
  HANDLE start = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::vector<FirstCall> calls(kThreads);
  std::vector<HANDLE> threads;
  for (FirstCall& call : calls) {
    call.start = start;
    threads.push_back(::CreateThread(nullptr, 0, MakeFirstCall, &call, 0, nullptr));
  }
  ::Sleep(50);  // let every thread reach the start line
  ::SetEvent(start);
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForMultipleObjects(kThreads, threads.data(), TRUE, 60000));
  for (HANDLE thread : threads) ::CloseHandle(thread);
  ::CloseHandle(start);

  EXPECT_EQ(1u, module_.TermFunctionCount());
  for (FirstCall& call : calls) {
    EXPECT_EQ(S_OK, call.result);
    EXPECT_EQ(kRun, call.dispid);
    EXPECT_EQ(g_agentTypeInfo.LoadedTypeInfo(), call.info);
    if (call.info) call.info->Release();
  }
}

DWORD WINAPI HoldModuleLock(void* argument) {
  auto* events = static_cast<HANDLE*>(argument);  // {held, release}
  CCriticalSectionLock lock(&g_currentModule->criticalSection);
  ::SetEvent(events[0]);
  ::WaitForSingleObject(events[1], INFINITE);
  return 0;
}

DWORD WINAPI LookUpRun(void* argument) {
  auto* agent = static_cast<WitnessedAgent*>(argument);
  LPOLESTR names[] = {Name(L"Run")};
  DISPID dispid = 12345;
  agent->GetIDsOfNames(IID_NULL, names, 1, 0, &dispid);
  return static_cast<DWORD>(dispid);
}

TEST_F(RegisteredDispatchTest, CachedLookupDoesNotWaitForTheModuleLock) {
  ASSERT_EQ(kRun, IdOf(L"Run"));
  HANDLE events[2] = {::CreateEventA(nullptr, TRUE, FALSE, nullptr),
                      ::CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  HANDLE holder = ::CreateThread(nullptr, 0, HoldModuleLock, events, 0, nullptr);
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(events[0], 10000));

  HANDLE lookup = ::CreateThread(nullptr, 0, LookUpRun, &agent_, 0, nullptr);
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(lookup, 10000)) << "the lookup waited";
  ::SetEvent(events[1]);
  ::WaitForSingleObject(lookup, INFINITE);
  DWORD dispid = 0;
  ::GetExitCodeThread(lookup, &dispid);
  EXPECT_EQ(static_cast<DWORD>(kRun), dispid);
  ::WaitForSingleObject(holder, INFINITE);
  for (HANDLE handle : {holder, lookup, events[0], events[1]}) ::CloseHandle(handle);
}

TEST_F(RegisteredDispatchTest, UnloadReleasesTheDescriptionAndTheCache) {
  CInterfacePtr<ITypeInfo> info;
  ASSERT_EQ(S_OK, agent_.GetTypeInfo(0, 0, info.Receive()));
  ASSERT_EQ(kRun, IdOf(L"Run"));
  ASSERT_NE(nullptr, g_agentTypeInfo.LoadedNameCache());
  const ULONG held = References(info.Get());

  module_.Terminate();

  EXPECT_EQ(held - 1, References(info.Get()));
  EXPECT_EQ(nullptr, g_agentTypeInfo.LoadedTypeInfo());
  EXPECT_EQ(nullptr, g_agentTypeInfo.LoadedNameCache());
  EXPECT_EQ(0u, module_.TermFunctionCount());
}

// The loading mode for the module's own file: its LIBID, version 0xFFFF.0xFFFF.
class OwnFileTest : public DispatchTest {
 protected:
  OwnFileTest() : savedInstance_(g_moduleInstance.handle) {
    local_.versionMajor = 0xFFFF;
    local_.versionMinor = 0xFFFF;
  }
  ~OwnFileTest() override { g_moduleInstance.handle = savedInstance_; }

  HINSTANCE savedInstance_;
};

TEST_F(OwnFileTest, LoadsTheDescriptionWithNothingRegistered) {
  LoaderFailure();
  CInterfacePtr<ITypeInfo> info;
  ASSERT_EQ(S_OK, local_.CopyTypeInfo(0, info.Receive()));
  EXPECT_EQ(IID_IAgent, DescribedInterface(info.Get()));
  info.Reset();
  EXPECT_NE(nullptr, local_.LoadedNameCache());
  EXPECT_EQ(1u, module_.TermFunctionCount());
}

struct OwnFileFault {
  const char* name;
  bool noFileName;
  bool cutOffName;
  bool noConversion;
  HRESULT expected;
};

const OwnFileFault kOwnFileFaults[] = {
    {"no file name", true, false, false, E_FAIL},
    {"name that may be cut off", false, true, false, E_FAIL},
    {"name not converted", false, false, true, E_OUTOFMEMORY},
};

// Fills the whole buffer, as the platform does with a name that does not fit.
DWORD WINAPI CutOffFileName(HMODULE, LPSTR path, DWORD size) {
  memset(path, 'a', size);
  path[size - 1] = '\0';
  return size;
}

int WINAPI NoConversion(UINT, DWORD, LPCCH, int, LPWSTR, int) { return 0; }

class OwnFileFaultTest : public OwnFileTest, public ::testing::WithParamInterface<OwnFileFault> {};

TEST_P(OwnFileFaultTest, FailsAndLoadsNothing) {
  const OwnFileFault& fault = GetParam();
  // No module lives at this address, so the platform knows no file name for it.
  if (fault.noFileName) g_moduleInstance.handle = reinterpret_cast<HINSTANCE>(0x10000);
  if (fault.cutOffName) platform_->GetModuleFileNameA = CutOffFileName;
  if (fault.noConversion) platform_->MultiByteToWideChar = NoConversion;
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_EQ(fault.expected, local_.CopyTypeInfo(0, &info));
  EXPECT_EQ(nullptr, info);
  EXPECT_EQ(0u, module_.TermFunctionCount());
}

INSTANTIATE_TEST_SUITE_P(Faults, OwnFileFaultTest, ::testing::ValuesIn(kOwnFileFaults), CaseName());

}  // namespace
