#include "package/registry_tree.h"

namespace {

std::vector<RegistryValue> ReadValues(HKEY key) {
  std::vector<RegistryValue> values;
  for (DWORD i = 0;; ++i) {
    char name[16384];
    DWORD nameSize = sizeof name;
    DWORD type = 0;
    DWORD dataSize = 0;
    if (::RegEnumValueA(key, i, name, &nameSize, nullptr, &type, nullptr, &dataSize) !=
        ERROR_SUCCESS) {
      break;
    }
    std::string data(dataSize, '\0');
    nameSize = sizeof name;
    ::RegEnumValueA(key, i, name, &nameSize, nullptr, &type,
                    reinterpret_cast<BYTE*>(&data[0]), &dataSize);
    data.resize(dataSize);
    values.push_back({name, type, data});
  }
  return values;
}

void ReadKey(HKEY key, const std::string& path, std::vector<RegistryKeyRecord>* keys) {
  keys->push_back({path, ReadValues(key)});
  for (DWORD i = 0;; ++i) {
    char name[256];
    DWORD nameSize = sizeof name;
    if (::RegEnumKeyExA(key, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    HKEY child;
    if (::RegOpenKeyExA(key, name, 0, KEY_READ, &child) != ERROR_SUCCESS) continue;
    ReadKey(child, path.empty() ? name : path + "\\" + name, keys);
    ::RegCloseKey(child);
  }
}

}  // namespace

std::vector<RegistryKeyRecord> ReadRegistryTree(HKEY root, const std::string& path) {
  std::vector<RegistryKeyRecord> keys;
  HKEY key;
  if (::RegOpenKeyExA(root, path.empty() ? nullptr : path.c_str(), 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return keys;
  }
  ReadKey(key, "", &keys);
  ::RegCloseKey(key);
  return keys;
}
