// The registration through which the component runtime finds the library's
// proxy/stub for IAgent: what it consists of, and a test-time writer of it
// into the prefix's own HKEY_CLASSES_ROOT, which the runtime reads directly
// (a redirected HKEY_CLASSES_ROOT of this process is not seen by it).
#ifndef BRISVEL_TESTS_PROXY_PROXY_REGISTRATION_H_
#define BRISVEL_TESTS_PROXY_PROXY_REGISTRATION_H_

#include <string>
#include <vector>

struct RegistryString {
  std::string key;   // below HKEY_CLASSES_ROOT
  std::string name;  // empty: the key's default value
  std::string value;
};

// The proxy/stub class and IAgent's identifier, one and the same.
extern const char kProxyStubClass[];

// What registering the proxy/stub of the library file `path` writes.
std::vector<RegistryString> ProxyStubRegistration(const std::string& path);

// Writes `values` below HKEY_CLASSES_ROOT; false when a write fails.
bool WriteClassesStrings(const std::vector<RegistryString>& values);

// The proxy/stub registration of the built Brisvel.DLL, written on
// construction and removed on destruction.
class ScopedProxyStubRegistration {
 public:
  ScopedProxyStubRegistration();
  ~ScopedProxyStubRegistration();
  ScopedProxyStubRegistration(const ScopedProxyStubRegistration&) = delete;
  ScopedProxyStubRegistration& operator=(const ScopedProxyStubRegistration&) = delete;
};

#endif  // BRISVEL_TESTS_PROXY_PROXY_REGISTRATION_H_
