// What the tests expect where the answer depends on pointer size: one row
// per architecture, and the row of the architecture this program (and so
// the Brisvel.DLL beside it) is built for.
#ifndef BRISVEL_TESTS_SUPPORT_ARCHITECTURE_H_
#define BRISVEL_TESTS_SUPPORT_ARCHITECTURE_H_

#include <windows.h>
#include <oaidl.h>

struct Architecture {
  const char* name;         // as a manifest's processorArchitecture says it
  WORD machine;             // the image's FileHeader.Machine
  WORD optionalHeaderMagic;
  SYSKIND syskind;          // the type library's
  const char* syskindKey;   // its entry below HKCR\TypeLib\{LIBID}\1.0\0
  LONG runVtableOffset;     // Run is the eighth slot: 7 pointers in
  SHORT agentVtableBytes;   // IAgent's 8 slots
  REGSAM registryView;      // its view of HKCR\CLSID and HKCR\Interface
  const char* systemFolder; // its regsvr32 and cscript, seen from a 64-bit program
  // The AppID's DllSurrogate that runs the DLL in its own architecture's
  // surrogate. Empty names the system's; but Wine 8 in a win64 prefix starts
  // syswow64's (32-bit) dllhost for it whatever the class, so the 64-bit row
  // names system32's dllhost as the surrogate program, as Windows allows.
  const char* surrogate;
};

inline constexpr Architecture kArchitectures[] = {
    {"x86", IMAGE_FILE_MACHINE_I386, IMAGE_NT_OPTIONAL_HDR32_MAGIC, SYS_WIN32, "win32", 28, 32,
     KEY_WOW64_32KEY, "C:\\windows\\syswow64\\", ""},
    {"amd64", IMAGE_FILE_MACHINE_AMD64, IMAGE_NT_OPTIONAL_HDR64_MAGIC, SYS_WIN64, "win64", 56, 64,
     KEY_WOW64_64KEY, "C:\\windows\\system32\\", "C:\\windows\\system32\\dllhost.exe"},
};

inline constexpr const Architecture& kThisArchitecture = kArchitectures[sizeof(void*) == 8 ? 1 : 0];
inline constexpr const Architecture& kOtherArchitecture = kArchitectures[sizeof(void*) == 8 ? 0 : 1];

#endif  // BRISVEL_TESTS_SUPPORT_ARCHITECTURE_H_
