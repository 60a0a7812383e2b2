// Component categories of test-only classes, through the platform's category
// manager. The manager writes the registry behind any redirection of this
// process's HKEY_CLASSES_ROOT, so these tests use the prefix's own, with
// class identifiers no one else has, removed before and after each test.
#include <gtest/gtest.h>

#include <comcat.h>

#include <string>

#include "registration/categories.h"
#include "support/platform_override.h"
#include <shlwapi.h>

namespace {

const CLSID kClass = {0x5B1C2D3E, 0x0001, 0x4A4A, {0x80, 0, 0, 0, 0, 0, 0, 0x01}};
const GUID kFirst = {0x5B1C2D3E, 0x0002, 0x4A4A, {0x80, 0, 0, 0, 0, 0, 0, 0x02}};
const GUID kSecond = {0x5B1C2D3E, 0x0003, 0x4A4A, {0x80, 0, 0, 0, 0, 0, 0, 0x03}};
const GUID kOthers = {0x5B1C2D3E, 0x0004, 0x4A4A, {0x80, 0, 0, 0, 0, 0, 0, 0x04}};
const char kClassKey[] = "CLSID\\{5B1C2D3E-0001-4A4A-8000-000000000001}";
const char kFirstName[] = "{5B1C2D3E-0002-4A4A-8000-000000000002}";
const char kSecondName[] = "{5B1C2D3E-0003-4A4A-8000-000000000003}";
const char kOthersName[] = "{5B1C2D3E-0004-4A4A-8000-000000000004}";

const CategoryMapEntry kEmptyMap[] = {{0, nullptr}};
const CategoryMapEntry kTwoEntries[] = {
    {kCategoryImplemented, &kFirst}, {2, &kSecond}, {0, nullptr}};

bool KeyExists(const std::string& path) {
  HKEY key;
  if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  ::RegCloseKey(key);
  return true;
}

void CreateKey(const std::string& path) {
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
  ::RegCloseKey(key);
}

int g_managersCreated = 0;
int g_registrationsLeft = 0;  // the fake manager refuses once this reaches 0

// The platform's manager, except that it refuses registrations once
// g_registrationsLeft is used up.
class RefusingManager : public ICatRegister {
 public:
  explicit RefusingManager(ICatRegister* real) : real_(real) {}
  virtual ~RefusingManager() = default;
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ICatRegister)) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++count_; }
  STDMETHODIMP_(ULONG) Release() override {
    if (--count_) return count_;
    real_->Release();
    delete this;
    return 0;
  }
  STDMETHODIMP RegisterCategories(ULONG n, CATEGORYINFO* info) override {
    return real_->RegisterCategories(n, info);
  }
  STDMETHODIMP UnRegisterCategories(ULONG n, CATID* ids) override {
    return real_->UnRegisterCategories(n, ids);
  }
  STDMETHODIMP RegisterClassImplCategories(REFCLSID c, ULONG n, CATID* ids) override {
    return g_registrationsLeft-- > 0 ? real_->RegisterClassImplCategories(c, n, ids) : kRefusal;
  }
  STDMETHODIMP UnRegisterClassImplCategories(REFCLSID c, ULONG n, CATID* ids) override {
    return real_->UnRegisterClassImplCategories(c, n, ids);
  }
  STDMETHODIMP RegisterClassReqCategories(REFCLSID c, ULONG n, CATID* ids) override {
    return g_registrationsLeft-- > 0 ? real_->RegisterClassReqCategories(c, n, ids) : kRefusal;
  }
  STDMETHODIMP UnRegisterClassReqCategories(REFCLSID c, ULONG n, CATID* ids) override {
    return real_->UnRegisterClassReqCategories(c, n, ids);
  }
  static constexpr HRESULT kRefusal = E_ACCESSDENIED;

 private:
  ICatRegister* real_;
  ULONG count_ = 0;
};

HRESULT WINAPI CountingCreate(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid,
                              LPVOID* out) {
  ++g_managersCreated;
  return DefaultPlatformCalls().CoCreateInstance(clsid, outer, context, iid, out);
}

HRESULT WINAPI RefusingCreate(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid,
                              LPVOID* out) {
  ++g_managersCreated;
  ICatRegister* real = nullptr;
  const HRESULT result = DefaultPlatformCalls().CoCreateInstance(
      clsid, outer, context, IID_ICatRegister, reinterpret_cast<void**>(&real));
  if (FAILED(result)) return result;
  return (new RefusingManager(real))->QueryInterface(iid, out);
}

HRESULT WINAPI NoManager(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID* out) {
  ++g_managersCreated;
  *out = nullptr;
  return REGDB_E_CLASSNOTREG;
}

class CategoriesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    ::SHDeleteKeyA(HKEY_CLASSES_ROOT, kClassKey);
    g_managersCreated = 0;
    platform_->CoCreateInstance = CountingCreate;
  }
  void TearDown() override {
    ::SHDeleteKeyA(HKEY_CLASSES_ROOT, kClassKey);
    ::CoUninitialize();
  }

  static std::string Implemented(const char* category = nullptr) {
    return std::string(kClassKey) + "\\Implemented Categories" +
           (category ? std::string("\\") + category : "");
  }
  static std::string Required(const char* category = nullptr) {
    return std::string(kClassKey) + "\\Required Categories" +
           (category ? std::string("\\") + category : "");
  }

  ScopedPlatformCalls platform_;
};

TEST_F(CategoriesTest, NoMapTouchesNothing) {
  CreateKey(Implemented());
  CreateKey(Required());
  EXPECT_EQ(S_OK, UpdateClassCategories(kClass, nullptr, true));
  EXPECT_EQ(S_OK, UpdateClassCategories(kClass, nullptr, false));
  EXPECT_EQ(0, g_managersCreated);
  EXPECT_TRUE(KeyExists(Implemented()));
  EXPECT_TRUE(KeyExists(Required()));
}

TEST_F(CategoriesTest, NullClassTouchesNothing) {
  EXPECT_EQ(S_OK, UpdateClassCategories(GUID{}, kTwoEntries, true));
  EXPECT_EQ(S_OK, UpdateClassCategories(GUID{}, kTwoEntries, false));
  EXPECT_EQ(0, g_managersCreated);
}

TEST_F(CategoriesTest, EmptyMapStillCleansUpEmptyCategoryKeys) {
  CreateKey(Implemented());
  CreateKey(Required());
  EXPECT_EQ(S_OK, UpdateClassCategories(kClass, kEmptyMap, true));
  EXPECT_EQ(1, g_managersCreated);
  EXPECT_TRUE(KeyExists(Implemented()));
  EXPECT_EQ(S_OK, UpdateClassCategories(kClass, kEmptyMap, false));
  EXPECT_EQ(2, g_managersCreated);
  EXPECT_FALSE(KeyExists(Implemented()));
  EXPECT_FALSE(KeyExists(Required()));
  EXPECT_TRUE(KeyExists(kClassKey));
}

TEST_F(CategoriesTest, RegistersImplementedAndRequiredThenRemovesThem) {
  ASSERT_EQ(S_OK, UpdateClassCategories(kClass, kTwoEntries, true));
  EXPECT_TRUE(KeyExists(Implemented(kFirstName)));
  EXPECT_TRUE(KeyExists(Required(kSecondName)));
  ASSERT_EQ(S_OK, UpdateClassCategories(kClass, kTwoEntries, false));
  EXPECT_FALSE(KeyExists(Implemented()));
  EXPECT_FALSE(KeyExists(Required()));
}

TEST_F(CategoriesTest, RefusedSecondRegistrationIsReportedAndTheFirstStays) {
  platform_->CoCreateInstance = RefusingCreate;
  g_registrationsLeft = 1;
  EXPECT_EQ(RefusingManager::kRefusal, UpdateClassCategories(kClass, kTwoEntries, true));
  EXPECT_TRUE(KeyExists(Implemented(kFirstName)));
  EXPECT_FALSE(KeyExists(Required(kSecondName)));
}

TEST_F(CategoriesTest, CategoriesOthersStillUseKeepTheirKey) {
  CreateKey(Implemented(kOthersName));
  ASSERT_EQ(S_OK, UpdateClassCategories(kClass, kTwoEntries, true));
  ASSERT_EQ(S_OK, UpdateClassCategories(kClass, kTwoEntries, false));
  EXPECT_FALSE(KeyExists(Implemented(kFirstName)));
  EXPECT_TRUE(KeyExists(Implemented(kOthersName)));
  EXPECT_FALSE(KeyExists(Required()));
}

TEST_F(CategoriesTest, WithoutAManagerCategoriesAreSkippedNotFailed) {
  platform_->CoCreateInstance = NoManager;
  EXPECT_EQ(S_OK, UpdateClassCategories(kClass, kTwoEntries, true));
  EXPECT_EQ(1, g_managersCreated);
  EXPECT_FALSE(KeyExists(kClassKey));
}

}  // namespace
