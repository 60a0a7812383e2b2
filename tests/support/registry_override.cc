#include "support/registry_override.h"

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <algorithm>
#include <atomic>
#include <vector>

namespace {

std::string PrivateKeyPath() {
  static std::atomic<int> counter{0};
  return "Software\\Brisvel Tests\\" + std::to_string(::GetCurrentProcessId()) + "-" +
         std::to_string(counter++);
}

std::string FormatData(DWORD type, const std::string& data) {
  if (type == REG_SZ || type == REG_EXPAND_SZ) {
    std::string text(data.begin(), data.end());
    return text.substr(0, text.find('\0'));
  }
  if (type == REG_DWORD && data.size() == 4) {
    DWORD number;
    memcpy(&number, data.data(), 4);
    return std::to_string(number);
  }
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (unsigned char b : data) {
    text += kHex[b >> 4];
    text += kHex[b & 15];
  }
  return text;
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

std::string FormatRegistryValue(const std::string& path, const std::string& name, DWORD type,
                                const std::string& data) {
  return path + "|" + name + "|" + std::to_string(type) + "|" + FormatData(type, data);
}

std::string JoinSortedLines(std::vector<std::string> lines) {
  std::sort(lines.begin(), lines.end());
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}
