#include "support/registry_override.h"

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <atomic>
#include <vector>

namespace {

std::string PrivateKeyPath() {
  static std::atomic<int> counter{0};
  return "Software\\Brisvel Tests\\" + std::to_string(::GetCurrentProcessId()) + "-" +
         std::to_string(counter++);
}

}  // namespace

ScopedRegistryOverride::ScopedRegistryOverride(HKEY predefined)
    : predefined_(predefined), path_(PrivateKeyPath()) {
  LONG result = ::RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &key_, nullptr);
  EXPECT_EQ(ERROR_SUCCESS, result) << "creating HKCU\\" << path_;
  result = ::RegOverridePredefKey(predefined_, key_);
  EXPECT_EQ(ERROR_SUCCESS, result) << "redirecting a predefined key";
}

ScopedRegistryOverride::~ScopedRegistryOverride() {
  ::RegOverridePredefKey(predefined_, nullptr);
  if (key_) ::RegCloseKey(key_);
  ::SHDeleteKeyA(HKEY_CURRENT_USER, path_.c_str());
}

std::string DumpRegistryTree(HKEY root, const std::string& path) {
  const std::vector<RegistryKeyRecord> keys = ReadRegistryTree(root, path);
  return keys.empty() ? "(absent)" : DumpRegistryRecords(keys);
}

std::string DumpRegistryRecords(const std::vector<RegistryKeyRecord>& keys) {
  std::vector<std::string> lines;
  for (const RegistryKeyRecord& key : keys) {
    lines.push_back(key.path);
    for (const RegistryValue& value : key.values) {
      lines.push_back(FormatRegistryValue(key.path, value.name, value.type, value.data));
    }
  }
  return JoinSortedLines(std::move(lines));
}

std::string ReadClassesString(const std::string& key, const char* name) {
  char data[1024] = {};
  DWORD size = sizeof data;
  if (::RegGetValueA(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, data, &size) !=
      ERROR_SUCCESS) {
    return "(absent)";
  }
  return data;
}
