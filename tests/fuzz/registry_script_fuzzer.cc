// Fuzzes the registry-script language: the expansion of %NAME% variables and
// both passes of the interpreter, on the in-memory registry.
//
// An input is a script text, optionally followed by a NUL byte and options:
//   byte 1: bit 0 steps through text as code page 932 does (double-byte
//           characters); bit 1 registers the script a second time before
//           removing it;
//   byte 2: a kind of registry call that is refused with ERROR_ACCESS_DENIED
//           on every key (value % 8; 0 refuses nothing);
//   the rest: the value of the variable %FUZZ%, one UTF-16 unit per byte.
// A script file (resources/*.rgs, the tests' scripts) is an input as it is.
//
// Besides what the sanitizers find, a run fails when a pass answers a code
// the language never gives, a failed expansion hands out text, a text
// without '%' does not expand to itself, or a pass leaves a key open.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "registrar/registrar.h"
#include "registrar/script_parser.h"
#include "support/double_byte_code_page.h"
#include "support/identities.h"
#include "support/memory_registry.h"
#include "support/platform_override.h"

namespace {

const LONG kRefusal = ERROR_ACCESS_DENIED;

#define FUZZ_CHECK(condition, what)                                         \
  do {                                                                      \
    if (!(condition)) {                                                     \
      fprintf(stderr, "registry_script_fuzzer: %s (%s)\n", what, #condition); \
      abort();                                                              \
    }                                                                       \
  } while (0)

struct FuzzInput {
  std::string script;
  bool doubleByte = false;
  bool registerTwice = false;
  int refusedCall = 0;  // 1 + a CMemoryRegistry::Call; 0: none
  std::wstring variable;
};

FuzzInput SplitInput(const uint8_t* data, size_t size) {
  FuzzInput input;
  const uint8_t* end = data + size;
  const uint8_t* nul = static_cast<const uint8_t*>(memchr(data, 0, size));
  input.script.assign(reinterpret_cast<const char*>(data),
                      reinterpret_cast<const char*>(nul ? nul : end));
  if (!nul) return input;
  const uint8_t* options = nul + 1;
  if (options < end) {
    input.doubleByte = (*options & 1) != 0;
    input.registerTwice = (*options & 2) != 0;
    ++options;
  }
  if (options < end) input.refusedCall = *options++ % 8;
  for (; options < end; ++options) input.variable += static_cast<wchar_t>(*options);
  return input;
}

// The codes a pass may end with: the language's own, and the registry's
// refusals (the chosen one, and the access error of a key held read-only).
bool IsPassResult(HRESULT result) {
  return result == S_OK || result == DISP_E_EXCEPTION || result == E_FAIL ||
         result == E_OUTOFMEMORY || result == HRESULT_FROM_WIN32(kRefusal);
}

bool IsExpandResult(HRESULT result) {
  return result == S_OK || result == DISP_E_EXCEPTION || result == E_FAIL ||
         result == E_OUTOFMEMORY;
}

void CheckExpansion(CRegistrar* registrar, const std::string& script) {
  CScriptParser parser(registrar);
  char* expanded = reinterpret_cast<char*>(1);
  const HRESULT result = parser.ExpandVariables(script.c_str(), &expanded);
  FUZZ_CHECK(IsExpandResult(result), "expansion code");
  if (FAILED(result)) {
    FUZZ_CHECK(expanded == nullptr, "a failed expansion hands out nothing");
    return;
  }
  FUZZ_CHECK(expanded != nullptr, "an expansion hands out its text");
  if (script.find('%') == std::string::npos) {
    FUZZ_CHECK(script == expanded, "a text without variables expands to itself");
  }
  g_platform.CoTaskMemFree(expanded);
}

void RunPass(CRegistrar* registrar, const std::string& script, bool doRegister,
             const CMemoryRegistry& registry) {
  CScriptParser parser(registrar);
  const HRESULT result = parser.RunScript(script.c_str(), doRegister);
  if (!IsPassResult(result)) {
    fprintf(stderr, "registry_script_fuzzer: %s pass ended with 0x%08X\n",
            doRegister ? "register" : "unregister", static_cast<unsigned>(result));
    abort();
  }
  FUZZ_CHECK(registry.OpenHandleCount() == 0, "every key opened is closed");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const FuzzInput input = SplitInput(data, size);
  ScopedPlatformCalls platform;
  if (input.doubleByte) InstallDoubleByteStepping();
  CMemoryRegistry registry;
  // Keys a script may meet already there: a protected one with a subkey
  // and an ordinary one with a value.
  registry.CreateKey(HKEY_CLASSES_ROOT, "CLSID\\{00000000-0000-0000-0000-000000000001}");
  registry.SetValue(HKEY_CLASSES_ROOT, "Existing\\Sub", "v", REG_SZ, std::string("x\0", 2));
  if (input.refusedCall > 0) {
    registry.Refuse(static_cast<CMemoryRegistry::Call>(input.refusedCall - 1), kRefusal);
  }

  CRegistrar registrar;
  FUZZ_CHECK(registrar.SetReplacement(L"APPID", L"" BRISVEL_APPID_TEXT) == S_OK,
             "APPID");
  FUZZ_CHECK(registrar.SetReplacement(L"Module", L"\"C:\\it''s\\Brisvel.DLL\"") == S_OK, "Module");
  FUZZ_CHECK(registrar.SetReplacement(L"FUZZ", input.variable.c_str()) == S_OK, "FUZZ");

  CheckExpansion(&registrar, input.script);
  RunPass(&registrar, input.script, true, registry);
  if (input.registerTwice) RunPass(&registrar, input.script, true, registry);
  RunPass(&registrar, input.script, false, registry);
  return 0;
}
