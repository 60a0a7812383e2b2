// DllRegisterServer and DllUnregisterServer of the built library against
// writing and removing the very keys and values they leave, with the
// registry API alone. Runs in a private HKEY_CLASSES_ROOT of this process.
//
// The row is split in two as well: the steps the scripts carry (through the
// library's interpreter, linked in, over the same scripts), and the steps
// the platform carries out for the library (type library registration in
// oleaut32, proxy/stub registration in rpcrt4), each against the API
// writing and removing its own share of the keys.
#include <stdio.h>

#include "bench/registry_copy.h"
#include "bench/rows.h"
#include "proxy/proxy_stub.h"
#include "registrar/resource_script.h"
#include "registration/type_library.h"
#include "server/module.h"
#include "support/registry_override.h"

namespace {

const TimingPlan kPlan = {0.05, 21};

using RegistrationExport = HRESULT(STDAPICALLTYPE*)();

const UINT kAppIdScript = 101;
const UINT kAgentScript = 102;
const ReplacementEntry kAppIdReplacements[] = {
    {L"APPID", L"{3A8007B1-8884-4458-92F2-266AB1038D34}"}, {nullptr, nullptr}};

// Keys the platform writes for the library rather than its scripts.
const char* const kPlatformKeys[] = {"TypeLib", "Interface",
                                     "CLSID\\{C6E71858-D9C2-41CA-A679-8FEF8553BCDC}"};

HMODULE BrisvelModule() { return ::GetModuleHandleA("Brisvel.DLL"); }

RegistrationExport FindExport(const char* name) {
  return reinterpret_cast<RegistrationExport>(
      reinterpret_cast<void*>(::GetProcAddress(BrisvelModule(), name)));
}

// The whole private tree but its root, which both sides only open.
std::vector<RegistryKeyRecord> ReadClasses() {
  std::vector<RegistryKeyRecord> keys = ReadRegistryTree(HKEY_CLASSES_ROOT, "");
  if (!keys.empty() && keys.front().path.empty()) keys.erase(keys.begin());
  return keys;
}

bool IsPlatformKey(const std::string& path) {
  for (const char* prefix : kPlatformKeys) {
    const size_t length = strlen(prefix);
    if (path.size() >= length && _strnicmp(path.c_str(), prefix, length) == 0 &&
        (path.size() == length || path[length] == '\\')) {
      return true;
    }
  }
  return false;
}

std::vector<RegistryKeyRecord> KeysOf(const std::vector<RegistryKeyRecord>& keys, bool platform) {
  std::vector<RegistryKeyRecord> part;
  for (const RegistryKeyRecord& key : keys) {
    if (IsPlatformKey(key.path) == platform) part.push_back(key);
  }
  return part;
}

// The registry API's side: writing `written`, then going back to `left`.
TimedOperation RegistryApiSide(const std::vector<RegistryKeyRecord>& written,
                               const std::vector<RegistryKeyRecord>& left) {
  const RegistryRemoval removal = RemovalBetween(written, left);
  return Timed([written, removal] {
    WriteRegistryKeys(HKEY_CLASSES_ROOT, written);
    ApplyRemoval(HKEY_CLASSES_ROOT, removal);
  });
}

// The scripts' steps of both exports, in their order.
void RunScripts() {
  ProcessRegistryResource(g_currentModule, kAppIdScript, true, kAppIdReplacements);
  ProcessRegistryResource(g_currentModule, kAgentScript, true, nullptr);
  ProcessRegistryResource(g_currentModule, kAgentScript, false, nullptr);
  ProcessRegistryResource(g_currentModule, kAppIdScript, false, kAppIdReplacements);
}

// The platform's steps of both exports, in their order, for Brisvel.DLL.
void RunPlatformSteps() {
  RegisterModuleTypeLibrary(BrisvelModule());
  ProxyStubRegister();
  UnregisterModuleTypeLibrary(BrisvelModule());
  ProxyStubRegister();
  ProxyStubUnregister();
}

std::string Split(const char* what, const PairTiming& timing) {
  char text[160];
  snprintf(text, sizeof text, "%s %.2f ms against %.2f ms (%.2fx)", what, timing.ours / 1e6,
           timing.against / 1e6, timing.ratio);
  return text;
}

}  // namespace

RowResult MeasureRegistration(BenchContext&) {
  const RegistrationExport registerServer = FindExport("DllRegisterServer");
  const RegistrationExport unregisterServer = FindExport("DllUnregisterServer");
  if (!registerServer || !unregisterServer) return RowError("the registration exports", E_FAIL);

  ScopedRegistryOverride classes(HKEY_CLASSES_ROOT);
  HRESULT result = registerServer();
  if (FAILED(result)) return RowError("DllRegisterServer", result);
  const std::vector<RegistryKeyRecord> registered = ReadClasses();
  result = unregisterServer();
  if (FAILED(result)) return RowError("DllUnregisterServer", result);
  const std::vector<RegistryKeyRecord> remaining = ReadClasses();

  // The other side must leave the registry exactly as the exports do.
  const RegistryRemoval removal = RemovalBetween(registered, remaining);
  if (!WriteRegistryKeys(HKEY_CLASSES_ROOT, registered) ||
      DumpRegistryRecords(ReadClasses()) != DumpRegistryRecords(registered) ||
      !ApplyRemoval(HKEY_CLASSES_ROOT, removal) ||
      DumpRegistryRecords(ReadClasses()) != DumpRegistryRecords(remaining)) {
    return RowError("the registry API writing and removing the same entries", E_FAIL);
  }

  RowResult row;
  row.timing = TimeInTurns(Timed([&] {
                             registerServer();
                             unregisterServer();
                           }),
                           RegistryApiSide(registered, remaining), kPlan);

  // This program's copy of the proxy/stub part registers Brisvel.DLL's file.
  ProxyStubAttach(BrisvelModule(), DLL_PROCESS_ATTACH, nullptr);
  const PairTiming scripts =
      TimeInTurns(Timed(RunScripts),
                  RegistryApiSide(KeysOf(registered, false), KeysOf(remaining, false)), kPlan);
  const PairTiming platform =
      TimeInTurns(Timed(RunPlatformSteps),
                  RegistryApiSide(KeysOf(registered, true), KeysOf(remaining, true)), kPlan);
  row.note = std::to_string(registered.size()) + " keys written, " +
             std::to_string(removal.keys.size()) + " removed. Split: " +
             Split("the scripts' steps", scripts) + "; " +
             Split("the type library and proxy/stub steps (oleaut32, rpcrt4)", platform) + ".";
  return row;
}
