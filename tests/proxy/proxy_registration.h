// The registration through which the component runtime finds the library's
// proxy/stub for IAgent, and the whole component registered for a test in
// the prefix's own HKEY_CLASSES_ROOT, which the runtime reads directly (a
// redirected HKEY_CLASSES_ROOT of this process is not seen by it).
#ifndef BRISVEL_TESTS_PROXY_PROXY_REGISTRATION_H_
#define BRISVEL_TESTS_PROXY_PROXY_REGISTRATION_H_

#include <string>
#include <vector>

class BrisvelLibrary;

struct RegistryString {
  std::string key;   // below HKEY_CLASSES_ROOT
  std::string name;  // empty: the key's default value
  std::string value;
};

// What registering the proxy/stub of the library file `path` writes.
std::vector<RegistryString> ProxyStubRegistration(const std::string& path);

// Writes `values` below HKEY_CLASSES_ROOT; false when a write fails.
bool WriteClassesStrings(const std::vector<RegistryString>& values);

// The component registered by the library's own DllRegisterServer for its
// life, and removed by DllUnregisterServer afterwards.
class ScopedComponentRegistration {
 public:
  explicit ScopedComponentRegistration(const BrisvelLibrary& library);
  ~ScopedComponentRegistration();
  ScopedComponentRegistration(const ScopedComponentRegistration&) = delete;
  ScopedComponentRegistration& operator=(const ScopedComponentRegistration&) = delete;

 private:
  const BrisvelLibrary& library_;
};

#endif  // BRISVEL_TESTS_PROXY_PROXY_REGISTRATION_H_
