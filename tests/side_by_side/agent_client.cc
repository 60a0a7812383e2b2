// A client of the build's own architecture, for the side-by-side tests, which
// run it for each architecture:
//   agent_client inproc       creates "Brisvel.Agent" in its own process and
//                             prints the file of the module that serves it;
//   agent_client local LINK   creates it with CLSCTX_LOCAL_SERVER (through a
//                             surrogate) and calls Run with LINK.
// Exits with the first failing HRESULT, 0 when every step succeeded.
#include <windows.h>
#include <objbase.h>

#include <stdio.h>
#include <string.h>

#include "idl/brisvel.h"

namespace {

// The file of the module whose code the object's first method runs.
HRESULT PrintServingModule(IAgent* agent) {
  void* const* table = *reinterpret_cast<void* const* const*>(agent);
  HMODULE module = nullptr;
  if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCSTR>(table[0]), &module)) {
    return HRESULT_FROM_WIN32(::GetLastError());
  }
  char path[MAX_PATH] = {};
  if (!::GetModuleFileNameA(module, path, MAX_PATH)) return HRESULT_FROM_WIN32(::GetLastError());
  printf("%s\n", path);
  return S_OK;
}

HRESULT RunLink(IAgent* agent, const char* link) {
  wchar_t wide[512] = {};
  ::MultiByteToWideChar(CP_ACP, 0, link, -1, wide, 512);
  BSTR text = ::SysAllocString(wide);
  if (!text) return E_OUTOFMEMORY;
  const HRESULT result = agent->Run(text);
  ::SysFreeString(text);
  printf("Run: 0x%08lX\n", static_cast<unsigned long>(result));
  return result;
}

HRESULT UseAgent(bool local, const char* link) {
  CLSID clsid;
  HRESULT result = ::CLSIDFromProgID(L"Brisvel.Agent", &clsid);
  if (FAILED(result)) return result;
  IAgent* agent = nullptr;
  result = ::CoCreateInstance(clsid, nullptr, local ? CLSCTX_LOCAL_SERVER : CLSCTX_INPROC_SERVER,
                              IID_IAgent, reinterpret_cast<void**>(&agent));
  if (FAILED(result)) return result;
  result = local ? RunLink(agent, link) : PrintServingModule(agent);
  agent->Release();
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  const bool local = argc == 3 && strcmp(argv[1], "local") == 0;
  if (!local && !(argc == 2 && strcmp(argv[1], "inproc") == 0)) return E_INVALIDARG;
  HRESULT result = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (FAILED(result)) return result;
  result = UseAgent(local, local ? argv[2] : nullptr);
  ::CoUninitialize();
  if (FAILED(result)) printf("failed: 0x%08lX\n", static_cast<unsigned long>(result));
  return result;
}
