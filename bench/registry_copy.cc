#include "bench/registry_copy.h"

#include <shlwapi.h>

#include "server/handle.h"

namespace {

const RegistryKeyRecord* FindKey(const std::vector<RegistryKeyRecord>& keys,
                                 const std::string& path) {
  for (const RegistryKeyRecord& key : keys) {
    if (lstrcmpiA(key.path.c_str(), path.c_str()) == 0) return &key;
  }
  return nullptr;
}

bool HasValue(const RegistryKeyRecord& key, const std::string& name) {
  for (const RegistryValue& value : key.values) {
    if (lstrcmpiA(value.name.c_str(), name.c_str()) == 0) return true;
  }
  return false;
}

}  // namespace

bool WriteRegistryKeys(HKEY root, const std::vector<RegistryKeyRecord>& keys) {
  for (const RegistryKeyRecord& record : keys) {
    CKeyHandle key;
    if (::RegCreateKeyExA(root, record.path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                          key.Receive(), nullptr) != ERROR_SUCCESS) {
      return false;
    }
    for (const RegistryValue& value : record.values) {
      if (::RegSetValueExA(key.Get(), value.name.empty() ? nullptr : value.name.c_str(), 0,
                           value.type, reinterpret_cast<const BYTE*>(value.data.data()),
                           static_cast<DWORD>(value.data.size())) != ERROR_SUCCESS) {
        return false;
      }
    }
  }
  return true;
}

RegistryRemoval RemovalBetween(const std::vector<RegistryKeyRecord>& from,
                               const std::vector<RegistryKeyRecord>& to) {
  RegistryRemoval removal;
  // Parents come before their subkeys in a tree read, so the reverse order
  // deletes every subkey before its parent.
  for (auto key = from.rbegin(); key != from.rend(); ++key) {
    const RegistryKeyRecord* kept = FindKey(to, key->path);
    if (!kept) {
      removal.keys.push_back(key->path);
      continue;
    }
    for (const RegistryValue& value : key->values) {
      if (!HasValue(*kept, value.name)) removal.values.emplace_back(key->path, value.name);
    }
  }
  return removal;
}

bool ApplyRemoval(HKEY root, const RegistryRemoval& removal) {
  for (const auto& value : removal.values) {
    CKeyHandle key;
    if (::RegOpenKeyExA(root, value.first.c_str(), 0, KEY_SET_VALUE, key.Receive()) !=
            ERROR_SUCCESS ||
        ::RegDeleteValueA(key.Get(), value.second.empty() ? nullptr : value.second.c_str()) !=
            ERROR_SUCCESS) {
      return false;
    }
  }
  for (const std::string& path : removal.keys) {
    if (::RegDeleteKeyA(root, path.c_str()) != ERROR_SUCCESS) return false;
  }
  return true;
}

CRegistrySnapshot::CRegistrySnapshot(HKEY root, std::vector<std::string> paths)
    : root_(root), paths_(std::move(paths)) {
  for (const std::string& path : paths_) {
    for (RegistryKeyRecord& key : ReadRegistryTree(root_, path)) {
      key.path = key.path.empty() ? path : path + "\\" + key.path;
      saved_.push_back(std::move(key));
    }
  }
}

CRegistrySnapshot::~CRegistrySnapshot() {
  for (const std::string& path : paths_) ::SHDeleteKeyA(root_, path.c_str());
  WriteRegistryKeys(root_, saved_);
}
