#include "support/registry_view.h"

#include <shlwapi.h>

#include "support/registry_override.h"

namespace {

// HKCR\`path` opened in `view` with `access`; closed with the object.
class ViewKey {
 public:
  ViewKey(REGSAM view, const char* path, REGSAM access) {
    if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, path, 0, access | view, &key_) != ERROR_SUCCESS) {
      key_ = nullptr;
    }
  }
  ~ViewKey() {
    if (key_) ::RegCloseKey(key_);
  }
  ViewKey(const ViewKey&) = delete;
  ViewKey& operator=(const ViewKey&) = delete;

  HKEY Get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace

std::string DumpClassesKeyInView(REGSAM view, const char* parent, const std::string& name) {
  ViewKey key(view, parent, KEY_READ);
  return key.Get() ? DumpRegistryTree(key.Get(), name) : "(absent)";
}

bool WriteClassesDefaultInView(REGSAM view, const std::string& path, const std::string& data) {
  HKEY key = nullptr;
  if (::RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const LSTATUS written = ::RegSetValueExA(key, nullptr, 0, REG_SZ,
                                           reinterpret_cast<const BYTE*>(data.c_str()),
                                           static_cast<DWORD>(data.size() + 1));
  ::RegCloseKey(key);
  return written == ERROR_SUCCESS;
}

void DeleteClassesKeyInView(REGSAM view, const char* parent, const char* name) {
  ViewKey key(view, parent, KEY_ALL_ACCESS);
  if (key.Get()) ::SHDeleteKeyA(key.Get(), name);
}
