#include "proxy/proxy_registration.h"

#include <windows.h>
#include <gtest/gtest.h>

#include "support/brisvel_library.h"
#include "support/identities.h"

std::vector<RegistryString> ProxyStubRegistration(const std::string& path) {
  const std::string proxyStubClass = BRISVEL_IID_TEXT;
  const std::string classKey = "CLSID\\" + proxyStubClass;
  const std::string interfaceKey = "Interface\\" + proxyStubClass;
  return {
      {classKey, "", "PSFactoryBuffer"},
      {classKey + "\\InProcServer32", "", path},
      {classKey + "\\InProcServer32", "ThreadingModel", "Both"},
      {interfaceKey, "", "IAgent"},
      {interfaceKey + "\\NumMethods", "", "8"},
      {interfaceKey + "\\ProxyStubClsid32", "", proxyStubClass},
  };
}

bool WriteClassesStrings(const std::vector<RegistryString>& values) {
  for (const RegistryString& value : values) {
    HKEY key;
    if (::RegCreateKeyExA(HKEY_CLASSES_ROOT, value.key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                          nullptr, &key, nullptr) != ERROR_SUCCESS) {
      return false;
    }
    const LONG result = ::RegSetValueExA(
        key, value.name.empty() ? nullptr : value.name.c_str(), 0, REG_SZ,
        reinterpret_cast<const BYTE*>(value.value.c_str()),
        static_cast<DWORD>(value.value.size() + 1));
    ::RegCloseKey(key);
    if (result != ERROR_SUCCESS) return false;
  }
  return true;
}

ScopedComponentRegistration::ScopedComponentRegistration(const BrisvelLibrary& library)
    : library_(library) {
  EXPECT_EQ(S_OK, library_.RegisterServer());
}

ScopedComponentRegistration::~ScopedComponentRegistration() {
  EXPECT_EQ(S_OK, library_.UnregisterServer());
}
