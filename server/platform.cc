#include "server/platform.h"

namespace {

void* HeapAllocateDefault(size_t bytes) { return ::HeapAlloc(::GetProcessHeap(), 0, bytes); }

void* HeapReallocateDefault(void* block, size_t bytes) {
  if (!block) return HeapAllocateDefault(bytes);
  return ::HeapReAlloc(::GetProcessHeap(), 0, block, bytes);
}

void HeapReleaseDefault(void* block) {
  if (block) ::HeapFree(::GetProcessHeap(), 0, block);
}

// The addresses of imported functions are read from the import table when
// the library starts, so the table is filled by a dynamic initialiser. Its
// priority runs it before every other static object of the library (and
// leaves room for a test that must change a call before those run).
struct DefaultCalls {
  PlatformCalls calls = {
      HeapAllocateDefault,
      HeapReallocateDefault,
      HeapReleaseDefault,
      ::CoTaskMemAlloc,
      ::CoTaskMemRealloc,
      ::CoTaskMemFree,
      ::InitializeCriticalSectionAndSpinCount,
      ::GetACP,
      ::WideCharToMultiByte,
      ::MultiByteToWideChar,
      ::CharNextA,
      ::IsDBCSLeadByte,
      ::lstrcmpiA,
      ::ShellExecuteA,
      ::RegOpenKeyExA,
      ::RegCreateKeyExA,
      ::RegSetValueExA,
      ::RegDeleteValueA,
      ::RegDeleteKeyA,
      ::RegEnumKeyExA,
      ::RegQueryInfoKeyA,
      ::RegCloseKey,
      ::VarUI4FromStr,
      ::CoCreateInstance,
      ::GetModuleFileNameA,
  };
};

const DefaultCalls g_defaults __attribute__((init_priority(101)));

}  // namespace

PlatformCalls g_platform __attribute__((init_priority(102))) = g_defaults.calls;

const PlatformCalls& DefaultPlatformCalls() { return g_defaults.calls; }
