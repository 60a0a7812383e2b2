// The type library as the platform reads it back from the built DLL: the
// contract every late-bound caller and the proxy/stub rely on.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>

#include "idl/brisvel.h"
#include "support/identities.h"
#include "support/test_paths.h"

namespace {

const GUID kStdOle = {0x00020430, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::wstring Take(BSTR text) {
  std::wstring value = text ? std::wstring(text, ::SysStringLen(text)) : L"(null)";
  ::SysFreeString(text);
  return value;
}

class TypeLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(S_OK, ::LoadTypeLibEx(Wide(BrisvelDllPath()).c_str(), REGKIND_NONE, &library_));
  }
  void TearDown() override {
    if (library_) library_->Release();
  }

  // The description with `guid`; its attributes stay valid until TearDown.
  ITypeInfo* Find(const GUID& guid) {
    ITypeInfo* info = nullptr;
    EXPECT_EQ(S_OK, library_->GetTypeInfoOfGuid(guid, &info));
    return Keep(info);
  }
  ITypeInfo* Keep(ITypeInfo* info) {
    kept_.push_back(info);
    return info;
  }
  TYPEATTR Attributes(ITypeInfo* info) {
    TYPEATTR* attributes = nullptr;
    EXPECT_EQ(S_OK, info->GetTypeAttr(&attributes));
    TYPEATTR copy = *attributes;
    info->ReleaseTypeAttr(attributes);
    return copy;
  }
  // The vtable view of the dual interface.
  ITypeInfo* VtableView() {
    HREFTYPE reference = 0;
    ITypeInfo* dispatchView = Find(IID_IAgent);
    EXPECT_EQ(S_OK, dispatchView->GetRefTypeOfImplType(static_cast<UINT>(-1), &reference));
    ITypeInfo* view = nullptr;
    EXPECT_EQ(S_OK, dispatchView->GetRefTypeInfo(reference, &view));
    return Keep(view);
  }

  ~TypeLibraryTest() override {
    for (ITypeInfo* info : kept_) {
      if (info) info->Release();
    }
  }

  ITypeLib* library_ = nullptr;
  std::vector<ITypeInfo*> kept_;
};

TEST_F(TypeLibraryTest, LibraryAttributesAndDocumentation) {
  TLIBATTR* attributes = nullptr;
  ASSERT_EQ(S_OK, library_->GetLibAttr(&attributes));
  EXPECT_TRUE(IsEqualGUID(LIBID_Vintaro, attributes->guid));
  EXPECT_EQ(1, attributes->wMajorVerNum);
  EXPECT_EQ(0, attributes->wMinorVerNum);
  EXPECT_EQ(0u, attributes->lcid);
  EXPECT_EQ(SYS_WIN32, attributes->syskind);
  // The loader adds LIBFLAG_FHASDISKIMAGE for a library read from a file.
  EXPECT_EQ(0, attributes->wLibFlags & (LIBFLAG_FRESTRICTED | LIBFLAG_FCONTROL | LIBFLAG_FHIDDEN));
  library_->ReleaseTLibAttr(attributes);

  BSTR name = nullptr, help = nullptr, helpFile = nullptr;
  DWORD context = 1;
  ASSERT_EQ(S_OK, library_->GetDocumentation(-1, &name, &help, &context, &helpFile));
  EXPECT_EQ(L"Vintaro", Take(name));
  EXPECT_EQ(L"Brisvel 1.0 Type Library", Take(help));
  EXPECT_EQ(L"(null)", Take(helpFile));
  EXPECT_EQ(0u, context);
}

TEST_F(TypeLibraryTest, CoclassThenInterfaceInStoredOrder) {
  ASSERT_EQ(2u, library_->GetTypeInfoCount());
  TYPEKIND kind;
  ASSERT_EQ(S_OK, library_->GetTypeInfoType(0, &kind));
  EXPECT_EQ(TKIND_COCLASS, kind);
  ASSERT_EQ(S_OK, library_->GetTypeInfoType(1, &kind));
  EXPECT_EQ(TKIND_DISPATCH, kind);
}

TEST_F(TypeLibraryTest, AgentIsCreatableWithIAgentAsItsOnlyDefaultInterface) {
  ITypeInfo* agent = Find(CLSID_Agent);
  const TYPEATTR attributes = Attributes(agent);
  EXPECT_EQ(TKIND_COCLASS, attributes.typekind);
  EXPECT_EQ(TYPEFLAG_FCANCREATE, attributes.wTypeFlags);
  ASSERT_EQ(1, attributes.cImplTypes);
  INT flags = 0;
  ASSERT_EQ(S_OK, agent->GetImplTypeFlags(0, &flags));
  EXPECT_EQ(IMPLTYPEFLAG_FDEFAULT, flags);
  HREFTYPE reference = 0;
  ASSERT_EQ(S_OK, agent->GetRefTypeOfImplType(0, &reference));
  ITypeInfo* implemented = nullptr;
  ASSERT_EQ(S_OK, agent->GetRefTypeInfo(reference, &implemented));
  EXPECT_TRUE(IsEqualGUID(IID_IAgent, Attributes(Keep(implemented)).guid));

  BSTR help = nullptr;
  ASSERT_EQ(S_OK, agent->GetDocumentation(MEMBERID_NIL, nullptr, &help, nullptr, nullptr));
  EXPECT_EQ(L"Vintaro Agent", Take(help));
}

TEST_F(TypeLibraryTest, IAgentIsDualWithAThirtyTwoByteVtable) {
  const TYPEATTR dispatch = Attributes(Find(IID_IAgent));
  EXPECT_EQ(TKIND_DISPATCH, dispatch.typekind);
  EXPECT_TRUE(dispatch.wTypeFlags & TYPEFLAG_FDUAL);
  EXPECT_TRUE(dispatch.wTypeFlags & TYPEFLAG_FDISPATCHABLE);
  EXPECT_EQ(0, dispatch.wMajorVerNum);
  EXPECT_EQ(0, dispatch.wMinorVerNum);

  const TYPEATTR vtable = Attributes(VtableView());
  EXPECT_EQ(TKIND_INTERFACE, vtable.typekind);
  EXPECT_EQ(0x11C0, vtable.wTypeFlags);
  EXPECT_EQ(32, vtable.cbSizeVft);
  EXPECT_EQ(1, vtable.cFuncs);
  EXPECT_EQ(0, vtable.cVars);

  BSTR help = nullptr;
  ASSERT_EQ(S_OK,
            Find(IID_IAgent)->GetDocumentation(MEMBERID_NIL, nullptr, &help, nullptr, nullptr));
  EXPECT_EQ(L"IAgent Interface", Take(help));
}

TEST_F(TypeLibraryTest, IAgentDerivesFromTheStandardIDispatch) {
  ITypeInfo* view = VtableView();
  HREFTYPE reference = 0;
  ASSERT_EQ(S_OK, view->GetRefTypeOfImplType(0, &reference));
  ITypeInfo* base = nullptr;
  ASSERT_EQ(S_OK, view->GetRefTypeInfo(reference, &base));
  Keep(base);
  EXPECT_TRUE(IsEqualGUID(IID_IDispatch, Attributes(base).guid));
  ITypeLib* home = nullptr;
  UINT index = 0;
  ASSERT_EQ(S_OK, base->GetContainingTypeLib(&home, &index));
  TLIBATTR* attributes = nullptr;
  ASSERT_EQ(S_OK, home->GetLibAttr(&attributes));
  EXPECT_TRUE(IsEqualGUID(kStdOle, attributes->guid));
  EXPECT_EQ(2, attributes->wMajorVerNum);
  home->ReleaseTLibAttr(attributes);
  home->Release();
}

TEST_F(TypeLibraryTest, RunIsMemberOneAtVtableOffsetTwentyEight) {
  ITypeInfo* view = VtableView();
  FUNCDESC* run = nullptr;
  ASSERT_EQ(S_OK, view->GetFuncDesc(0, &run));
  EXPECT_EQ(1, run->memid);
  EXPECT_EQ(INVOKE_FUNC, run->invkind);
  EXPECT_EQ(FUNC_PUREVIRTUAL, run->funckind);
  EXPECT_EQ(CC_STDCALL, run->callconv);
  EXPECT_EQ(0, run->wFuncFlags);
  EXPECT_EQ(28, run->oVft);
  ASSERT_EQ(1, run->cParams);
  EXPECT_EQ(0, run->cParamsOpt);
  EXPECT_EQ(VT_BSTR, run->lprgelemdescParam[0].tdesc.vt);
  EXPECT_EQ(PARAMFLAG_FIN, run->lprgelemdescParam[0].paramdesc.wParamFlags);
  EXPECT_EQ(VT_HRESULT, run->elemdescFunc.tdesc.vt);
  view->ReleaseFuncDesc(run);

  BSTR names[2] = {};
  UINT count = 0;
  ASSERT_EQ(S_OK, view->GetNames(1, names, 2, &count));
  ASSERT_EQ(2u, count);
  EXPECT_EQ(L"Run", Take(names[0]));
  EXPECT_EQ(L"URL", Take(names[1]));

  BSTR help = nullptr;
  DWORD context = 1;
  ASSERT_EQ(S_OK, view->GetDocumentation(1, nullptr, &help, &context, nullptr));
  EXPECT_EQ(L"method Run", Take(help));
  EXPECT_EQ(0u, context);
}

// The registry texts every test shares are those of the identifiers widl
// made from the interface definition, so the identities have one source.
TEST(IdentityTextTest, MatchesTheGeneratedIdentifiers) {
  const struct {
    const GUID* id;
    const char* text;
  } kCases[] = {{&CLSID_Agent, BRISVEL_CLSID_TEXT},
                {&IID_IAgent, BRISVEL_IID_TEXT},
                {&LIBID_Vintaro, BRISVEL_LIBID_TEXT}};
  for (const auto& c : kCases) {
    wchar_t text[40];
    ASSERT_EQ(39, ::StringFromGUID2(*c.id, text, 40)) << c.text;
    EXPECT_EQ(Wide(c.text), text);
  }
}

}  // namespace
