// The few platform types, constants and calls that the registry-script code,
// the conversion and error helpers and the in-memory registry use, for a
// native (non-Windows) build of them under the sanitizers and the fuzzer.
// Written from what that code expects of each call; nothing else of the
// platform exists here. server/win32.h includes this when not building for
// Windows.
#ifndef BRISVEL_SERVER_PLATFORM_STAND_IN_H_
#define BRISVEL_SERVER_PLATFORM_STAND_IN_H_

#include <stddef.h>
#include <stdint.h>

// Calling conventions mean nothing here.
#define WINAPI
#define STDMETHODCALLTYPE
#define STDMETHODIMP HRESULT STDMETHODCALLTYPE
#define STDMETHODIMP_(type) type STDMETHODCALLTYPE

// Integer types keep their Windows widths; wide characters are the native
// wchar_t (32 bits), which the code only ever handles as whole units.
typedef int BOOL;
typedef int INT;
typedef unsigned int UINT;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef uint32_t DWORD;
typedef size_t SIZE_T;
typedef uintptr_t ULONG_PTR;
typedef intptr_t INT_PTR;
typedef int32_t HRESULT;
typedef LONG LSTATUS;
typedef DWORD LCID;
typedef DWORD REGSAM;
typedef unsigned short VARTYPE;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef char CHAR;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef const char* LPCCH;
typedef wchar_t WCHAR;
typedef wchar_t* LPWSTR;
typedef const wchar_t* LPCWSTR;
typedef const wchar_t* LPCWCH;
typedef wchar_t OLECHAR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;
typedef OLECHAR* BSTR;
typedef BOOL* LPBOOL;
typedef DWORD* LPDWORD;

// Handles are opaque pointers, as on the platform.
struct StandInKey;
struct StandInInstance;
struct StandInWindow;
struct StandInHeap;
typedef StandInKey* HKEY;
typedef HKEY* PHKEY;
typedef StandInInstance* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef StandInWindow* HWND;
typedef StandInHeap* HANDLE;

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};
typedef FILETIME* PFILETIME;

struct SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
};
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

// Nothing here runs on more than one thread; the section only has to exist.
struct CRITICAL_SECTION {
  LONG initialised;
};
typedef CRITICAL_SECTION* LPCRITICAL_SECTION;


struct MEMORY_BASIC_INFORMATION {
  LPVOID BaseAddress;
  LPVOID AllocationBase;
  DWORD AllocationProtect;
  SIZE_T RegionSize;
  DWORD State;
  DWORD Protect;
  DWORD Type;
};

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
typedef GUID IID;
typedef GUID CLSID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;

inline bool operator==(const GUID& left, const GUID& right) {
  const uint8_t* a = reinterpret_cast<const uint8_t*>(&left);
  const uint8_t* b = reinterpret_cast<const uint8_t*>(&right);
  for (size_t i = 0; i < sizeof(GUID); ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

extern const IID IID_IUnknown;

struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
typedef IUnknown* LPUNKNOWN;

#define TRUE 1
#define FALSE 0

#define S_OK ((HRESULT)0)
#define E_NOTIMPL ((HRESULT)0x80004001)
#define E_POINTER ((HRESULT)0x80004003)
#define E_FAIL ((HRESULT)0x80004005)
#define E_OUTOFMEMORY ((HRESULT)0x8007000E)
#define E_INVALIDARG ((HRESULT)0x80070057)
#define DISP_E_TYPEMISMATCH ((HRESULT)0x80020005)
#define DISP_E_OVERFLOW ((HRESULT)0x8002000A)
#define DISP_E_EXCEPTION ((HRESULT)0x80020009)
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)
#define HRESULT_FROM_WIN32(code)                                                   \
  ((HRESULT)(code) <= 0 ? (HRESULT)(code)                                         \
                        : (HRESULT)(((DWORD)(code) & 0x0000FFFF) | 0x80070000))

#define ERROR_SUCCESS 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_OUTOFMEMORY 14
#define ERROR_INVALID_PARAMETER 87
#define ERROR_CALL_NOT_IMPLEMENTED 120
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_MORE_DATA 234
#define ERROR_NO_MORE_ITEMS 259
#define ERROR_KEY_DELETED 1018

#define DELETE 0x00010000
#define READ_CONTROL 0x00020000
#define WRITE_DAC 0x00040000
#define WRITE_OWNER 0x00080000
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_READ (READ_CONTROL | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY)
#define KEY_WRITE (READ_CONTROL | KEY_SET_VALUE | KEY_CREATE_SUB_KEY)
#define KEY_ALL_ACCESS 0x000F003F

#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7
#define REG_OPTION_NON_VOLATILE 0
#define REG_CREATED_NEW_KEY 1
#define REG_OPENED_EXISTING_KEY 2

#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)0x80000000)
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)0x80000001)
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)0x80000002)
#define HKEY_USERS ((HKEY)(ULONG_PTR)0x80000003)
#define HKEY_PERFORMANCE_DATA ((HKEY)(ULONG_PTR)0x80000004)
#define HKEY_CURRENT_CONFIG ((HKEY)(ULONG_PTR)0x80000005)
#define HKEY_DYN_DATA ((HKEY)(ULONG_PTR)0x80000006)

enum VARENUM { VT_UI1 = 17, VT_UI4 = 19, VT_BSTR = 8, VT_BYREF = 0x4000 };

#define CP_ACP 0
#define CP_UTF7 65000
#define CP_UTF8 65001
#define WC_NO_BEST_FIT_CHARS 0x00000400

// Heap and task memory: the C allocator.
HANDLE GetProcessHeap();
LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
LPVOID HeapReAlloc(HANDLE heap, DWORD flags, LPVOID block, SIZE_T bytes);
BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID block);
LPVOID CoTaskMemAlloc(SIZE_T bytes);
LPVOID CoTaskMemRealloc(LPVOID block, SIZE_T bytes);
void CoTaskMemFree(LPVOID block);
void SysFreeString(BSTR text);

// Pages: answers only for addresses on the calling thread's stack, whose lowest
// address is the allocation base.
SIZE_T VirtualQuery(LPCVOID address, MEMORY_BASIC_INFORMATION* region, SIZE_T size);

// The kernel's odds and ends.
DWORD GetLastError();
BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION section, DWORD spin);
void* InterlockedExchangePointer(void* volatile* target, void* value);
BOOL FreeLibrary(HMODULE module);
DWORD GetModuleFileNameA(HMODULE module, LPSTR path, DWORD size);

// A system whose ANSI code page is 1252.
UINT GetACP();

// Text. Every code page converts as ISO 8859-1: a byte is the UTF-16 unit of
// the same number, and units above 0xFF narrow to '?'. Character stepping
// knows the lead bytes of code page 932; every other code page, the thread's
// default included, has single-byte characters only.
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH wide, int wideLength, LPSTR narrow,
                        int narrowSize, LPCCH defaultChar, LPBOOL usedDefault);
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH narrow, int narrowLength, LPWSTR wide,
                        int wideSize);
LPSTR CharNextA(LPCSTR text);
LPSTR CharNextExA(WORD codePage, LPCSTR text, DWORD flags);
BOOL IsDBCSLeadByte(BYTE byte);
BOOL IsDBCSLeadByteEx(UINT codePage, BYTE byte);
// Equality ignores the case of A to Z; the order is that of the folded bytes.
int lstrcmpiA(LPCSTR left, LPCSTR right);

// Numbers: decimal digits (a fraction rounds half to even), &H hexadecimal
// and &O octal, with blanks around and an optional plus sign.
HRESULT VarUI4FromStr(OLECHAR* text, LCID locale, ULONG flags, ULONG* number);

// What needs the real platform is refused: no registry (a test installs the
// in-memory one), no shell association, no component classes.
LSTATUS RegOpenKeyExA(HKEY parent, LPCSTR name, DWORD options, REGSAM access, PHKEY result);
LSTATUS RegCreateKeyExA(HKEY parent, LPCSTR name, DWORD reserved, LPSTR keyClass, DWORD options,
                        REGSAM access, const LPSECURITY_ATTRIBUTES security, PHKEY result,
                        LPDWORD disposition);
LSTATUS RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data,
                       DWORD size);
LSTATUS RegDeleteValueA(HKEY key, LPCSTR name);
LSTATUS RegDeleteKeyA(HKEY parent, LPCSTR name);
LSTATUS RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved,
                      LPSTR keyClass, LPDWORD classSize, PFILETIME lastWrite);
LSTATUS RegQueryInfoKeyA(HKEY key, LPSTR keyClass, LPDWORD classSize, LPDWORD reserved,
                         LPDWORD subKeys, LPDWORD maxSubKeyLength, LPDWORD maxClassLength,
                         LPDWORD values, LPDWORD maxValueNameLength, LPDWORD maxValueLength,
                         LPDWORD securityDescriptorSize, PFILETIME lastWrite);
LSTATUS RegCloseKey(HKEY key);
HINSTANCE ShellExecuteA(HWND window, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                        LPCSTR directory, INT show);
HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid,
                         LPVOID* object);

#endif  // BRISVEL_SERVER_PLATFORM_STAND_IN_H_
