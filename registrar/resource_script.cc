#include "registrar/resource_script.h"

#include <string.h>

#include "registrar/registrar.h"
#include "registrar/script_parser.h"
#include "server/convert.h"
#include "server/errors.h"
#include "server/handle.h"
#include "server/module.h"
#include "server/platform.h"

namespace {

const DWORD kPathCapacity = 260;

// `path` with every apostrophe doubled, so that it reads back unchanged
// inside a quoted script token; `quoted` wraps it in double quotes.
wchar_t* EscapePath(void* scratch, const wchar_t* path, bool quoted) {
  wchar_t* out = static_cast<wchar_t*>(scratch);
  if (!out) return nullptr;
  wchar_t* next = out;
  if (quoted) *next++ = L'"';
  for (const wchar_t* c = path; *c; ++c) {
    if (*c == L'\'') *next++ = L'\'';
    *next++ = *c;
  }
  if (quoted) *next++ = L'"';
  *next = L'\0';
  return out;
}

// Bytes for the escaped form of a path of `length` characters, quoted.
size_t EscapedBytes(size_t length) { return (2 * length + 3) * sizeof(wchar_t); }

}  // namespace

HRESULT CRegistrar::RunResourceScript(const wchar_t* modulePath, const char* resourceName,
                                      const char* resourceType, bool doRegister) {
  RETURN_HR_IF(E_OUTOFMEMORY, modulePath == nullptr);
  ConversionScratch scratch;
  const char* path = NARROW_TEXT(scratch, modulePath, GetConversionCodePage(), nullptr);
  RETURN_HR_IF_NULL(E_OUTOFMEMORY, path);

  CLibraryHandle module(::LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE));
  RETURN_HR_IF(HResultFromLastFailure(), !module);
  HRSRC found = ::FindResourceA(module.Get(), resourceName, resourceType);
  RETURN_HR_IF(HResultFromLastFailure(), found == nullptr);
  HGLOBAL loaded = ::LoadResource(module.Get(), found);
  RETURN_HR_IF(HResultFromLastFailure(), loaded == nullptr);
  const DWORD size = ::SizeofResource(module.Get(), found);

  CInlineBuffer<1024> text;
  char* data;
  try {
    data = text.Allocate(static_cast<size_t>(size) + 1);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  memcpy(data, ::LockResource(loaded), size);
  data[size] = '\0';
  CScriptParser parser(this);
  return parser.RunScript(data, doRegister);
}

HRESULT CRegistrar::ApplyResourceScript(const wchar_t* modulePath, UINT resourceId,
                                        const wchar_t* resourceType) {
  return RunNumberedScript(modulePath, resourceId, resourceType, true);
}

HRESULT CRegistrar::RemoveResourceScript(const wchar_t* modulePath, UINT resourceId,
                                         const wchar_t* resourceType) {
  return RunNumberedScript(modulePath, resourceId, resourceType, false);
}

HRESULT CRegistrar::RunNumberedScript(const wchar_t* modulePath, UINT resourceId,
                                      const wchar_t* resourceType, bool doRegister) {
  RETURN_HR_IF(E_OUTOFMEMORY, resourceType == nullptr);
  ConversionScratch scratch;
  const char* type = NARROW_TEXT(scratch, resourceType, GetConversionCodePage(), nullptr);
  RETURN_HR_IF_NULL(E_OUTOFMEMORY, type);
  return RunResourceScript(modulePath, MAKEINTRESOURCEA(resourceId & 0xFFFF), type, doRegister);
}

HRESULT ProcessRegistryResource(CServerModule* module, UINT resourceId, bool doRegister,
                                const ReplacementEntry* entries) {
  CRegistrar registrar;
  // A caller's entry that cannot be added is not reported: a script that
  // uses it fails when it is expanded.
  for (const ReplacementEntry* entry = entries; entry && entry->name; ++entry) {
    registrar.SetReplacement(entry->name, entry->value);
  }
  RETURN_IF_FAILED(module->AddModuleReplacements(&registrar));

  const HINSTANCE instance = g_moduleInstance.handle;
  char narrow[kPathCapacity];
  const DWORD length = g_platform.GetModuleFileNameA(instance, narrow, kPathCapacity);
  RETURN_HR_IF(HResultFromLastFailure(), length == 0);
  RETURN_HR_IF(HResultFromWin32(ERROR_INSUFFICIENT_BUFFER), length >= kPathCapacity);

  ConversionScratch scratch;
  const wchar_t* path = WIDEN_TEXT(scratch, narrow, GetConversionCodePage());
  RETURN_HR_IF_NULL(E_OUTOFMEMORY, path);

  // A module that is the process's executable is named in quotes.
  const bool executable = instance == nullptr || instance == ::GetModuleHandleA(nullptr);
  const wchar_t* raw =
      EscapePath(ALLOCATE_SCRATCH(scratch, EscapedBytes(length)), path, false);
  const wchar_t* quoted =
      executable ? EscapePath(ALLOCATE_SCRATCH(scratch, EscapedBytes(length)), path, true) : raw;
  RETURN_HR_IF(E_OUTOFMEMORY, raw == nullptr || quoted == nullptr);
  RETURN_IF_FAILED(registrar.SetReplacement(L"Module", quoted));
  RETURN_IF_FAILED(registrar.SetReplacement(L"Module_Raw", raw));

  return doRegister ? registrar.ApplyResourceScript(path, resourceId, L"REGISTRY")
                    : registrar.RemoveResourceScript(path, resourceId, L"REGISTRY");
}
