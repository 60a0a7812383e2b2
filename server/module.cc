#include "server/module.h"

#include "server/class_table.h"
#include "server/errors.h"
#include "server/memory.h"
#include "server/platform.h"
#include "idl/brisvel.h"

// The image base the linker places at the start of this library's image: its
// instance handle, known before DllMain runs.
extern "C" IMAGE_DOS_HEADER __ImageBase;

CServerModule* g_currentModule = nullptr;
GUID g_moduleLibid = {};
volatile bool g_initFailed = false;

namespace {

const CLSID kGlobalInterfaceTableClass = {
    0x00000323, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kGlobalInterfaceTableInterface = {
    0x00000146, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

}  // namespace

ModuleInstance::ModuleInstance() : handle(reinterpret_cast<HINSTANCE>(&__ImageBase)) {}

CServerModule::CServerModule() {
  size = sizeof(CServerModule);
  lockCount = 0;
  termFunctions = nullptr;
  g_currentModule = this;
  if (!criticalSection.IsReady()) g_initFailed = true;
  globalInterfaceTable = nullptr;
  g_moduleLibid = LIBID_Vintaro;
  RunClassHooks(&g_classTable, true);
}

// The classes shut down while the module they rely on is still live, and
// only once, however often the module was terminated before.
CServerModule::~CServerModule() {
  if (size != 0) RunClassHooks(&g_classTable, false);
  Terminate();
}

LONG CServerModule::Lock() { return ::InterlockedIncrement(&lockCount); }

LONG CServerModule::Unlock() { return ::InterlockedDecrement(&lockCount); }

LONG CServerModule::GetLockCount() { return lockCount; }

HRESULT CServerModule::GetGlobalInterfaceTable(IGlobalInterfaceTable** table) {
  RETURN_HR_IF(E_POINTER, table == nullptr);
  HRESULT result = S_OK;
  if (!globalInterfaceTable) {
    IGlobalInterfaceTable* created = nullptr;
    result = g_platform.CoCreateInstance(kGlobalInterfaceTableClass, nullptr,
                                         CLSCTX_INPROC_SERVER, kGlobalInterfaceTableInterface,
                                         reinterpret_cast<void**>(&created));
    if (FAILED(result)) return result;
    // Two first callers may both have created one; the first stored stays
    // and the other is given back.
    void* volatile* slot = reinterpret_cast<void* volatile*>(&globalInterfaceTable);
    if (::InterlockedCompareExchangePointer(slot, created, nullptr)) created->Release();
  }
  *table = globalInterfaceTable;
  globalInterfaceTable->AddRef();
  return result;
}

void CServerModule::Terminate() {
  if (size == 0) return;
  while (TermNode* node = termFunctions) {
    termFunctions = node->next;
    node->function(node->argument);
    Delete(node);
  }
  if (globalInterfaceTable) {
    globalInterfaceTable->Release();
    globalInterfaceTable = nullptr;
  }
  criticalSection.Delete();
  size = 0;
}

HRESULT RegisterTermFunction(CServerModule* module, TermFunction function, void* argument) {
  RETURN_HR_IF(E_INVALIDARG, module == nullptr || function == nullptr);
  // Without its critical section (a failed start, or after termination) the
  // module has no list that will ever run again.
  RETURN_HR_IF(E_UNEXPECTED, !module->criticalSection.IsReady());
  CServerModule::TermNode* node = New<CServerModule::TermNode>();
  RETURN_HR_IF_NULL(E_OUTOFMEMORY, node);
  node->function = function;
  node->argument = argument;
  CCriticalSectionLock lock(&module->criticalSection);
  node->next = module->termFunctions;
  module->termFunctions = node;
  return S_OK;
}

BOOL ModuleDllMain(HINSTANCE, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH && g_initFailed) return FALSE;
  return TRUE;
}

HRESULT ModuleCanUnloadNow() {
  return g_currentModule && g_currentModule->GetLockCount() != 0 ? S_FALSE : S_OK;
}
