#include "support/test_paths.h"

#include <windows.h>

#include <atomic>

std::string ProgramDirectory() {
  char path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string text(path, length);
  return text.substr(0, text.find_last_of("\\/") + 1);
}

std::string BrisvelDllPath() { return ProgramDirectory() + "Brisvel.DLL"; }

std::string UniqueFilePath(const std::string& stem, const std::string& extension) {
  static std::atomic<int> counter{0};
  return ProgramDirectory() + stem + "-" + std::to_string(::GetCurrentProcessId()) + "-" +
         std::to_string(counter++) + extension;
}
