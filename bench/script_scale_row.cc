// The registry script interpreter over generated scripts of 1,000 and of
// 10,000 keys, registered and unregistered in a private HKEY_CLASSES_ROOT:
// the cost of a key should not grow with the size of the script.
#include <stdio.h>

#include <string>

#include "bench/rows.h"
#include "registrar/registrar.h"
#include "registrar/script_parser.h"
#include "server/handle.h"
#include "support/registry_override.h"

namespace {

const TimingPlan kPlan = {1.0, 9};
const int kSmallScript = 1000;
const int kLargeScript = 10000;

const char kScaleKey[] = "Brisvel Scale";

// A script of `keys` keys below one key of its own, each with a default
// value and a value that names the module through a variable.
std::string GenerateScript(int keys) {
  std::string text = "HKCR\r\n{\r\n\t'Brisvel Scale'\r\n\t{\r\n";
  char entry[160];
  for (int i = 0; i < keys; ++i) {
    snprintf(entry, sizeof entry,
             "\t\t'Key %05d' = s 'Value %05d'\r\n\t\t{\r\n\t\t\tval Module = s '%%MODULE%%'\r\n"
             "\t\t}\r\n",
             i, i);
    text += entry;
  }
  return text + "\t}\r\n}\r\n";
}

// A register and an unregister pass over `script`.
TimedOperation ScriptCycle(const std::string& script) {
  return Timed([&script] {
    CRegistrar registrar;
    registrar.SetReplacement(L"MODULE", L"C:\\Program Files\\Brisvel\\Brisvel.DLL");
    CScriptParser(&registrar).RunScript(script.c_str(), true);
    CScriptParser(&registrar).RunScript(script.c_str(), false);
  });
}

// The same keys and values written and deleted with the registry API.
TimedOperation RegistryCycle(int keys) {
  return Timed([keys] {
    const char module[] = "C:\\Program Files\\Brisvel\\Brisvel.DLL";
    {
      CKeyHandle parent;
      ::RegCreateKeyExA(HKEY_CLASSES_ROOT, kScaleKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        parent.Receive(), nullptr);
      char name[32], value[32];
      for (int i = 0; i < keys; ++i) {
        snprintf(name, sizeof name, "Key %05d", i);
        snprintf(value, sizeof value, "Value %05d", i);
        CKeyHandle key;
        ::RegCreateKeyExA(parent.Get(), name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                          key.Receive(), nullptr);
        ::RegSetValueExA(key.Get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                         static_cast<DWORD>(strlen(value) + 1));
        ::RegSetValueExA(key.Get(), "Module", 0, REG_SZ, reinterpret_cast<const BYTE*>(module),
                         sizeof module);
      }
      for (int i = 0; i < keys; ++i) {
        snprintf(name, sizeof name, "Key %05d", i);
        ::RegDeleteKeyA(parent.Get(), name);
      }
      parent.Reset();
      ::RegDeleteKeyA(HKEY_CLASSES_ROOT, kScaleKey);
    }
  });
}

// Counts the keys a register pass leaves, and checks that the unregister
// pass takes them all away again.
HRESULT CheckScript(const std::string& script, int keys) {
  CRegistrar registrar;
  registrar.SetReplacement(L"MODULE", L"C:\\Program Files\\Brisvel\\Brisvel.DLL");
  HRESULT result = CScriptParser(&registrar).RunScript(script.c_str(), true);
  if (FAILED(result)) return result;
  DWORD subkeys = 0;
  CKeyHandle parent;
  if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, kScaleKey, 0, KEY_READ, parent.Receive()) !=
          ERROR_SUCCESS ||
      ::RegQueryInfoKeyA(parent.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
      subkeys != static_cast<DWORD>(keys)) {
    return E_UNEXPECTED;
  }
  parent.Reset();
  result = CScriptParser(&registrar).RunScript(script.c_str(), false);
  if (FAILED(result)) return result;
  CKeyHandle gone;
  return ::RegOpenKeyExA(HKEY_CLASSES_ROOT, kScaleKey, 0, KEY_READ, gone.Receive()) ==
                 ERROR_FILE_NOT_FOUND
             ? S_OK
             : E_UNEXPECTED;
}

// Per-key figures of a timing made with whole scripts.
PairTiming PerKey(const PairTiming& timing) {
  return PerUnit(timing, kLargeScript, kSmallScript);
}

}  // namespace

RowResult MeasureScriptScale(BenchContext&) {
  ScopedRegistryOverride classes(HKEY_CLASSES_ROOT);
  const std::string small = GenerateScript(kSmallScript);
  const std::string large = GenerateScript(kLargeScript);
  HRESULT checked = CheckScript(small, kSmallScript);
  if (SUCCEEDED(checked)) checked = CheckScript(large, kLargeScript);
  if (FAILED(checked)) return RowError("the generated scripts", checked);

  RowResult row;
  row.timing = PerKey(TimeInTurns(ScriptCycle(large), ScriptCycle(small), kPlan));
  const PairTiming registry =
      PerKey(TimeInTurns(RegistryCycle(kLargeScript), RegistryCycle(kSmallScript), kPlan));
  char note[200];
  snprintf(note, sizeof note,
           "the registry API alone, same keys: %.0f ns per key at 10,000, %.0f ns at 1,000 "
           "(%.2fx)",
           registry.ours, registry.against, registry.ratio);
  row.note = note;
  return row;
}
