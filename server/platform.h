// The one table of platform calls the library makes where a test may need a
// result the real platform cannot be made to give (an allocation or registry
// failure, a shell answer). Everything else is called directly.
#ifndef BRISVEL_SERVER_PLATFORM_H_
#define BRISVEL_SERVER_PLATFORM_H_

#include "server/win32.h"

struct PlatformCalls {
  // Heap and task memory.
  void* (*HeapAllocate)(size_t bytes);
  void* (*HeapReallocate)(void* block, size_t bytes);
  void (*HeapRelease)(void* block);
  LPVOID(WINAPI* CoTaskMemAlloc)(SIZE_T bytes);
  LPVOID(WINAPI* CoTaskMemRealloc)(LPVOID block, SIZE_T bytes);
  void(WINAPI* CoTaskMemFree)(LPVOID block);

  // Kernel.
  BOOL(WINAPI* InitializeCriticalSectionAndSpinCount)(LPCRITICAL_SECTION section, DWORD spin);
  UINT(WINAPI* GetACP)();
  int(WINAPI* WideCharToMultiByte)(UINT codePage, DWORD flags, LPCWCH wide, int wideLength,
                                   LPSTR narrow, int narrowSize, LPCCH defaultChar,
                                   LPBOOL usedDefault);
  int(WINAPI* MultiByteToWideChar)(UINT codePage, DWORD flags, LPCCH narrow, int narrowLength,
                                   LPWSTR wide, int wideSize);
  LPSTR(WINAPI* CharNextA)(LPCSTR text);
  BOOL(WINAPI* IsDBCSLeadByte)(BYTE byte);
  int(WINAPI* lstrcmpiA)(LPCSTR left, LPCSTR right);

  // Shell.
  HINSTANCE(WINAPI* ShellExecuteA)(HWND window, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                                   LPCSTR directory, INT show);

  // Registry.
  LSTATUS(WINAPI* RegOpenKeyExA)(HKEY parent, LPCSTR name, DWORD options, REGSAM access,
                                 PHKEY result);
  LSTATUS(WINAPI* RegCreateKeyExA)(HKEY parent, LPCSTR name, DWORD reserved, LPSTR keyClass,
                                   DWORD options, REGSAM access,
                                   const LPSECURITY_ATTRIBUTES security, PHKEY result,
                                   LPDWORD disposition);
  LSTATUS(WINAPI* RegSetValueExA)(HKEY key, LPCSTR name, DWORD reserved, DWORD type,
                                  const BYTE* data, DWORD size);
  LSTATUS(WINAPI* RegDeleteValueA)(HKEY key, LPCSTR name);
  LSTATUS(WINAPI* RegDeleteKeyA)(HKEY parent, LPCSTR name);
  LSTATUS(WINAPI* RegEnumKeyExA)(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize,
                                 LPDWORD reserved, LPSTR keyClass, LPDWORD classSize,
                                 PFILETIME lastWrite);
  LSTATUS(WINAPI* RegQueryInfoKeyA)(HKEY key, LPSTR keyClass, LPDWORD classSize,
                                    LPDWORD reserved, LPDWORD subKeys, LPDWORD maxSubKeyLength,
                                    LPDWORD maxClassLength, LPDWORD values,
                                    LPDWORD maxValueNameLength, LPDWORD maxValueLength,
                                    LPDWORD securityDescriptorSize, PFILETIME lastWrite);
  LSTATUS(WINAPI* RegCloseKey)(HKEY key);

  // Automation.
  HRESULT(WINAPI* VarUI4FromStr)(OLECHAR* text, LCID locale, ULONG flags, ULONG* number);

  // Component runtime.
  HRESULT(WINAPI* CoCreateInstance)(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid,
                                    LPVOID* object);

  // Module files.
  DWORD(WINAPI* GetModuleFileNameA)(HMODULE module, LPSTR path, DWORD size);
};

// The calls in force; the library's own defaults until a test replaces one.
extern PlatformCalls g_platform;

// The library's defaults, for a test that restores or wraps them.
extern const PlatformCalls& DefaultPlatformCalls();

#endif  // BRISVEL_SERVER_PLATFORM_H_
