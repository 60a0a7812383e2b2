// Redirects a predefined registry key of this process to a private key that
// is deleted afterwards, so registry tests never see or disturb one another.
#ifndef BRISVEL_TESTS_SUPPORT_REGISTRY_OVERRIDE_H_
#define BRISVEL_TESTS_SUPPORT_REGISTRY_OVERRIDE_H_

#include <windows.h>

#include <string>

#include "support/registry_text.h"
#include "package/registry_tree.h"

class ScopedRegistryOverride {
 public:
  explicit ScopedRegistryOverride(HKEY predefined);
  ~ScopedRegistryOverride();
  ScopedRegistryOverride(const ScopedRegistryOverride&) = delete;
  ScopedRegistryOverride& operator=(const ScopedRegistryOverride&) = delete;

  // The private key, below HKEY_CURRENT_USER.
  const std::string& Path() const { return path_; }

 private:
  HKEY predefined_;
  HKEY key_ = nullptr;
  std::string path_;
};

// Everything below `key`\`path`, as "path|value name|type|data" lines in
// sorted order: a registry's contents as one comparable text.
std::string DumpRegistryTree(HKEY key, const std::string& path);

// The keys and values of a tree read as such a dump.
std::string DumpRegistryRecords(const std::vector<RegistryKeyRecord>& keys);

// The string value `name` (null: the default) of HKCR\`key`, or "(absent)".
std::string ReadClassesString(const std::string& key, const char* name);

#endif  // BRISVEL_TESTS_SUPPORT_REGISTRY_OVERRIDE_H_
