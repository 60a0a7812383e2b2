#include "proxy/proxy_registration.h"

#include <windows.h>
#include <gtest/gtest.h>
#include <shlwapi.h>

#include "support/test_paths.h"

const char kProxyStubClass[] = "{C6E71858-D9C2-41CA-A679-8FEF8553BCDC}";

std::vector<RegistryString> ProxyStubRegistration(const std::string& path) {
  const std::string classKey = std::string("CLSID\\") + kProxyStubClass;
  const std::string interfaceKey = std::string("Interface\\") + kProxyStubClass;
  return {
      {classKey, "", "PSFactoryBuffer"},
      {classKey + "\\InProcServer32", "", path},
      {classKey + "\\InProcServer32", "ThreadingModel", "Both"},
      {interfaceKey, "", "IAgent"},
      {interfaceKey + "\\NumMethods", "", "8"},
      {interfaceKey + "\\ProxyStubClsid32", "", kProxyStubClass},
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

ScopedProxyStubRegistration::ScopedProxyStubRegistration() {
  EXPECT_TRUE(WriteClassesStrings(ProxyStubRegistration(BrisvelDllPath())));
}

ScopedProxyStubRegistration::~ScopedProxyStubRegistration() {
  ::SHDeleteKeyA(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + kProxyStubClass).c_str());
  ::SHDeleteKeyA(HKEY_CLASSES_ROOT, (std::string("Interface\\") + kProxyStubClass).c_str());
}
