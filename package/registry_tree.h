// A registry tree read into plain records, for comparing, copying and
// writing it elsewhere: the release harvest and the tests share it.
#ifndef BRISVEL_PACKAGE_REGISTRY_TREE_H_
#define BRISVEL_PACKAGE_REGISTRY_TREE_H_

#include <windows.h>

#include <string>
#include <vector>

struct RegistryValue {
  std::string name;  // empty: the key's default value
  DWORD type;
  std::string data;
};

struct RegistryKeyRecord {
  std::string path;  // below the key the tree was read from; empty for that key
  std::vector<RegistryValue> values;
};

// `path` below `root` and every key below it, each parent before its
// subkeys; empty when `path` cannot be opened.
std::vector<RegistryKeyRecord> ReadRegistryTree(HKEY root, const std::string& path);

#endif  // BRISVEL_PACKAGE_REGISTRY_TREE_H_
