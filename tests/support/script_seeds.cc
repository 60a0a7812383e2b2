#include "support/script_seeds.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

namespace {

// Seeds past this size would only be cut to the fuzzer's input limit.
const size_t kLargestSeed = 64 * 1024;

// The FNV-1a hash of `text`, as the file name: the same text, the same file.
std::string SeedName(const std::string& text) {
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : text) hash = (hash ^ c) * 1099511628211ull;
  char name[32];
  snprintf(name, sizeof name, "%016llx.rgs", static_cast<unsigned long long>(hash));
  return name;
}

}  // namespace

void RecordScriptSeed(const std::string& text) {
  const char* folder = getenv("BRISVEL_SCRIPT_SEEDS");
  if (!folder || !*folder || text.size() > kLargestSeed) return;
  const std::string path = std::string(folder) + "/" + SeedName(text);
  if (FILE* file = fopen(path.c_str(), "wb")) {
    fwrite(text.data(), 1, text.size(), file);
    fclose(file);
  }
}
