#include "server/platform_stand_in.h"

#include <pthread.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <wchar.h>

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000,
                          {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace {

thread_local DWORD g_lastError = 0;

// The one heap; its handle is never looked at.
StandInHeap* const kProcessHeap = reinterpret_cast<StandInHeap*>(1);

struct ThreadStack {
  char* low = nullptr;  // null when the bounds could not be read
  size_t bytes = 0;
};

// The calling thread's stack, read once: reading it for the main thread
// parses the process's memory map.
const ThreadStack& CallingThreadStack() {
  thread_local ThreadStack stack = [] {
    ThreadStack found;
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) != 0) return found;
    void* low = nullptr;
    size_t bytes = 0;
    if (pthread_attr_getstack(&attributes, &low, &bytes) == 0) {
      found.low = static_cast<char*>(low);
      found.bytes = bytes;
    }
    pthread_attr_destroy(&attributes);
    return found;
  }();
  return stack;
}

bool IsBlank(OLECHAR unit) { return unit == L' ' || unit == L'\t'; }

// The value of `unit` as a digit of `base`; -1 when it is none.
int DigitValue(OLECHAR unit, int base) {
  int value = -1;
  if (unit >= L'0' && unit <= L'9') value = unit - L'0';
  if (unit >= L'a' && unit <= L'f') value = unit - L'a' + 10;
  if (unit >= L'A' && unit <= L'F') value = unit - L'A' + 10;
  return value < base ? value : -1;
}

// Reads digits of `base` at `*at` into `*value`, which stops growing once
// past 32 bits; answers how many were read.
size_t ReadDigits(const OLECHAR** at, int base, uint64_t* value) {
  size_t count = 0;
  for (int digit; (digit = DigitValue(**at, base)) >= 0; ++*at, ++count) {
    if (*value <= 0xFFFFFFFFull) *value = *value * base + digit;
  }
  return count;
}

// Whether a decimal fraction at `*at` rounds `value` up (half to even).
bool FractionRoundsUp(const OLECHAR** at, uint64_t value) {
  const int first = DigitValue(**at, 10);
  if (first < 0) return false;
  ++*at;
  bool restNonZero = false;
  for (int digit; (digit = DigitValue(**at, 10)) >= 0; ++*at) restNonZero |= digit != 0;
  if (first != 5) return first > 5;
  return restNonZero || (value & 1) != 0;
}

char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

}  // namespace

HANDLE GetProcessHeap() { return kProcessHeap; }
LPVOID HeapAlloc(HANDLE, DWORD, SIZE_T bytes) { return malloc(bytes ? bytes : 1); }
LPVOID HeapReAlloc(HANDLE, DWORD, LPVOID block, SIZE_T bytes) {
  return realloc(block, bytes ? bytes : 1);
}
BOOL HeapFree(HANDLE, DWORD, LPVOID block) {
  free(block);
  return TRUE;
}
LPVOID CoTaskMemAlloc(SIZE_T bytes) { return malloc(bytes ? bytes : 1); }
LPVOID CoTaskMemRealloc(LPVOID block, SIZE_T bytes) { return realloc(block, bytes ? bytes : 1); }
void CoTaskMemFree(LPVOID block) { free(block); }
void SysFreeString(BSTR text) { free(text); }

SIZE_T VirtualQuery(LPCVOID address, MEMORY_BASIC_INFORMATION* region, SIZE_T size) {
  if (!region || size < sizeof *region) return 0;
  const ThreadStack& stack = CallingThreadStack();
  const char* at = static_cast<const char*>(address);
  if (!stack.low || at < stack.low || at >= stack.low + stack.bytes) return 0;
  const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  memset(region, 0, sizeof *region);
  region->BaseAddress = reinterpret_cast<void*>(reinterpret_cast<uintptr_t>(at) & ~(page - 1));
  region->AllocationBase = stack.low;
  region->RegionSize = stack.bytes;
  return sizeof *region;
}

DWORD GetLastError() { return g_lastError; }

BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION section, DWORD) {
  section->initialised = 1;
  return TRUE;
}

void* InterlockedExchangePointer(void* volatile* target, void* value) {
  return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}

BOOL FreeLibrary(HMODULE) { return FALSE; }

DWORD GetModuleFileNameA(HMODULE, LPSTR path, DWORD size) {
  if (path && size) path[0] = '\0';
  g_lastError = ERROR_CALL_NOT_IMPLEMENTED;
  return 0;
}

UINT GetACP() { return 1252; }

int WideCharToMultiByte(UINT, DWORD, LPCWCH wide, int wideLength, LPSTR narrow, int narrowSize,
                        LPCCH defaultChar, LPBOOL usedDefault) {
  if (!wide || narrowSize < 0 || (narrowSize > 0 && !narrow)) {
    g_lastError = ERROR_INVALID_PARAMETER;
    return 0;
  }
  const size_t length = wideLength < 0 ? wcslen(wide) + 1 : static_cast<size_t>(wideLength);
  if (usedDefault) *usedDefault = FALSE;
  if (narrowSize > 0 && length > static_cast<size_t>(narrowSize)) {
    g_lastError = ERROR_INSUFFICIENT_BUFFER;
    return 0;
  }
  for (size_t i = 0; i < length; ++i) {
    const bool fits = wide[i] >= 0 && wide[i] <= 0xFF;
    if (!fits && usedDefault) *usedDefault = TRUE;
    if (narrowSize == 0) continue;
    narrow[i] = fits ? static_cast<char>(wide[i]) : (defaultChar ? *defaultChar : '?');
  }
  return static_cast<int>(length);
}

int MultiByteToWideChar(UINT, DWORD, LPCCH narrow, int narrowLength, LPWSTR wide,
                        int wideSize) {
  if (!narrow || wideSize < 0 || (wideSize > 0 && !wide)) {
    g_lastError = ERROR_INVALID_PARAMETER;
    return 0;
  }
  const size_t length = narrowLength < 0 ? strlen(narrow) + 1 : static_cast<size_t>(narrowLength);
  if (wideSize == 0) return static_cast<int>(length);
  if (length > static_cast<size_t>(wideSize)) {
    g_lastError = ERROR_INSUFFICIENT_BUFFER;
    return 0;
  }
  for (size_t i = 0; i < length; ++i) wide[i] = static_cast<unsigned char>(narrow[i]);
  return static_cast<int>(length);
}

LPSTR CharNextA(LPCSTR text) { return CharNextExA(CP_ACP, text, 0); }

LPSTR CharNextExA(WORD codePage, LPCSTR text, DWORD) {
  if (*text == '\0') return const_cast<LPSTR>(text);
  const bool pair = IsDBCSLeadByteEx(codePage, static_cast<BYTE>(*text)) && text[1] != '\0';
  return const_cast<LPSTR>(text + (pair ? 2 : 1));
}

BOOL IsDBCSLeadByte(BYTE byte) { return IsDBCSLeadByteEx(CP_ACP, byte); }

BOOL IsDBCSLeadByteEx(UINT codePage, BYTE byte) {
  if (codePage != 932) return FALSE;
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

int lstrcmpiA(LPCSTR left, LPCSTR right) {
  for (;; ++left, ++right) {
    const unsigned char a = static_cast<unsigned char>(FoldAscii(*left));
    const unsigned char b = static_cast<unsigned char>(FoldAscii(*right));
    if (a != b) return a < b ? -1 : 1;
    if (a == '\0') return 0;
  }
}

HRESULT VarUI4FromStr(OLECHAR* text, LCID, ULONG, ULONG* number) {
  if (!text || !number) return E_INVALIDARG;
  const OLECHAR* at = text;
  while (IsBlank(*at)) ++at;
  if (*at == L'+') ++at;
  uint64_t value = 0;
  size_t digits = 0;
  if (at[0] == L'&' && (at[1] == L'H' || at[1] == L'h' || at[1] == L'O' || at[1] == L'o')) {
    const int base = (at[1] == L'H' || at[1] == L'h') ? 16 : 8;
    at += 2;
    digits = ReadDigits(&at, base, &value);
  } else {
    digits = ReadDigits(&at, 10, &value);
    if (*at == L'.') {
      ++at;
      if (FractionRoundsUp(&at, value)) ++value;
      digits += 1;
    }
  }
  while (IsBlank(*at)) ++at;
  if (digits == 0 || *at != L'\0') return DISP_E_TYPEMISMATCH;
  if (value > 0xFFFFFFFFull) return DISP_E_OVERFLOW;
  *number = static_cast<ULONG>(value);
  return S_OK;
}

LSTATUS RegOpenKeyExA(HKEY, LPCSTR, DWORD, REGSAM, PHKEY) { return ERROR_CALL_NOT_IMPLEMENTED; }
LSTATUS RegCreateKeyExA(HKEY, LPCSTR, DWORD, LPSTR, DWORD, REGSAM, const LPSECURITY_ATTRIBUTES,
                        PHKEY, LPDWORD) {
  return ERROR_CALL_NOT_IMPLEMENTED;
}
LSTATUS RegSetValueExA(HKEY, LPCSTR, DWORD, DWORD, const BYTE*, DWORD) {
  return ERROR_CALL_NOT_IMPLEMENTED;
}
LSTATUS RegDeleteValueA(HKEY, LPCSTR) { return ERROR_CALL_NOT_IMPLEMENTED; }
LSTATUS RegDeleteKeyA(HKEY, LPCSTR) { return ERROR_CALL_NOT_IMPLEMENTED; }
LSTATUS RegEnumKeyExA(HKEY, DWORD, LPSTR, LPDWORD, LPDWORD, LPSTR, LPDWORD, PFILETIME) {
  return ERROR_CALL_NOT_IMPLEMENTED;
}
LSTATUS RegQueryInfoKeyA(HKEY, LPSTR, LPDWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD,
                         LPDWORD, LPDWORD, LPDWORD, PFILETIME) {
  return ERROR_CALL_NOT_IMPLEMENTED;
}
LSTATUS RegCloseKey(HKEY) { return ERROR_CALL_NOT_IMPLEMENTED; }

HINSTANCE ShellExecuteA(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT) {
  const INT_PTR kNoAssociation = 31;
  return reinterpret_cast<HINSTANCE>(kNoAssociation);
}

HRESULT CoCreateInstance(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID* object) {
  if (object) *object = nullptr;
  return REGDB_E_CLASSNOTREG;
}
