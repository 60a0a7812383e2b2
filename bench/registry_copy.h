// Registry trees read with the tests' reader, written to and removed from
// another place with the registry API alone, and the prefix's own entries
// kept and put back around the benchmark.
#ifndef BRISVEL_BENCH_REGISTRY_COPY_H_
#define BRISVEL_BENCH_REGISTRY_COPY_H_

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "package/registry_tree.h"

// Creates each key of `keys` below `root`, in order, and writes its values.
bool WriteRegistryKeys(HKEY root, const std::vector<RegistryKeyRecord>& keys);

// What it takes to go from one tree to another that keeps some of its keys
// and values: the keys to delete (subkeys first) and the values to delete.
struct RegistryRemoval {
  std::vector<std::string> keys;
  std::vector<std::pair<std::string, std::string>> values;  // key path, value name
};
RegistryRemoval RemovalBetween(const std::vector<RegistryKeyRecord>& from,
                               const std::vector<RegistryKeyRecord>& to);

// Deletes what `removal` names below `root`.
bool ApplyRemoval(HKEY root, const RegistryRemoval& removal);

// The trees at `paths` below `root` as they are at construction, put back
// in place at destruction whatever was done to them meanwhile.
class CRegistrySnapshot {
 public:
  CRegistrySnapshot(HKEY root, std::vector<std::string> paths);
  ~CRegistrySnapshot();
  CRegistrySnapshot(const CRegistrySnapshot&) = delete;
  CRegistrySnapshot& operator=(const CRegistrySnapshot&) = delete;

 private:
  HKEY root_;
  std::vector<std::string> paths_;
  std::vector<RegistryKeyRecord> saved_;  // paths below root_
};

#endif  // BRISVEL_BENCH_REGISTRY_COPY_H_
