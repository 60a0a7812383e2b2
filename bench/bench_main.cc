// brisvel_bench: what a call, a registration and a script cost in the built
// Brisvel.DLL, each row against the platform's own way of doing the same,
// measured side by side in one run. Prints one table.
//
//   brisvel_bench [ROW...]    (rows by key: lookup call create xcall unmarshal
//                              register scale threads; all when none is named)
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "bench/image_sizes.h"
#include "bench/registry_copy.h"
#include "bench/rows.h"
#include "support/brisvel_library.h"

namespace {

const Row kRows[] = {
    {"lookup", "name lookup", "GetIDsOfNames(\"Run\") on an Agent",
     "the type information's own GetIDsOfNames", {Goal::kAtLeastSpeedup, 10}, "faster",
     MeasureNameLookup},
    {"call", "late-bound call", "Invoke DISPID 1 with a refused link",
     "ITypeInfo::Invoke called directly on the same object", {Goal::kAtMostCost, 1.1},
     "the time", MeasureLateBoundCall},
    {"create", "creation", "DllGetClassObject + CreateInstance + Release",
     "new/delete of an object of the same shape", {Goal::kAtMostCost, 5}, "the time",
     MeasureCreation},
    {"xcall", "cross-apartment call", "Run through our proxy/stub",
     "Run through the type-library marshaler", {Goal::kAtMostCost, 1.0}, "the time",
     MeasureCrossApartmentCall},
    {"unmarshal", "cross-apartment unmarshal", "a new proxy for an Agent",
     "the same through the type-library marshaler", {Goal::kAtLeastSpeedup, 10}, "faster",
     MeasureCrossApartmentUnmarshal},
    {"register", "registration", "DllRegisterServer + DllUnregisterServer",
     "the same keys written and removed with the registry API", {Goal::kAtMostCost, 1.3},
     "the time", MeasureRegistration},
    {"scale", "script scale", "a key of a 10,000-key script, registered and unregistered",
     "a key of a 1,000-key script", {Goal::kAtMostCost, 1.2}, "the cost per key",
     MeasureScriptScale},
    {"threads", "concurrency", "2 apartments calling Run and Invoke at once", "1 apartment",
     {Goal::kAtLeastSpeedup, 1.8}, "the throughput", MeasureConcurrency},
};

// Everything the registration of the library writes in HKEY_CLASSES_ROOT,
// so that the prefix's own entries can be put back afterwards.
const char* const kRegisteredPaths[] = {
    "Brisvel.Agent",
    "Brisvel.Agent.1",
    "CLSID\\{C4E0ED1D-8356-4A8E-9186-8ECC811B8F7A}",
    "CLSID\\{C6E71858-D9C2-41CA-A679-8FEF8553BCDC}",
    "Interface\\{C6E71858-D9C2-41CA-A679-8FEF8553BCDC}",
    "TypeLib\\{E37AB8B4-3B73-4CBF-B96F-1BC9E5AADB92}",
    "AppID\\{3A8007B1-8884-4458-92F2-266AB1038D34}",
    "AppID\\Brisvel.DLL",
};

// The library registered in the prefix's own registry for the rows that
// need the runtime to find it; the prefix's entries as they were afterwards.
class CPrefixRegistration {
 public:
  CPrefixRegistration()
      : snapshot_(HKEY_CLASSES_ROOT,
                  std::vector<std::string>(std::begin(kRegisteredPaths),
                                           std::end(kRegisteredPaths))) {
    const auto registerServer = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("Brisvel.DLL"),
                                                 "DllRegisterServer")));
    result_ = registerServer ? registerServer() : E_FAIL;
  }
  HRESULT Result() const { return result_; }

 private:
  CRegistrySnapshot snapshot_;
  HRESULT result_;
};

std::string FormatNanoseconds(double ns) {
  char text[32];
  if (ns >= 1e6) {
    snprintf(text, sizeof text, "%.2f ms", ns / 1e6);
  } else if (ns >= 1e4) {
    snprintf(text, sizeof text, "%.1f us", ns / 1e3);
  } else if (ns >= 1e3) {
    snprintf(text, sizeof text, "%.2f us", ns / 1e3);
  } else {
    snprintf(text, sizeof text, "%.1f ns", ns);
  }
  return text;
}

// The factor the goal speaks of: the other side's cost over ours for a
// speed-up, ours over the other's for a cost.
double Factor(const Row& row, const RowResult& result) {
  return row.goal.kind == Goal::kAtLeastSpeedup ? 1 / result.timing.ratio : result.timing.ratio;
}

bool Met(const Row& row, const RowResult& result) {
  const double factor = Factor(row, result);
  return row.goal.kind == Goal::kAtLeastSpeedup ? factor >= row.goal.bound
                                                : factor <= row.goal.bound;
}

std::string TargetText(const Row& row) {
  char text[64];
  snprintf(text, sizeof text, "%s %gx %s", row.goal.kind == Goal::kAtLeastSpeedup ? ">=" : "<=",
           row.goal.bound, row.measure);
  return text;
}

void PrintRow(const Row& row, const RowResult& result) {
  if (!result.error.empty()) {
    printf("| %s | not measured: %s | | | %s | |\n", row.name, result.error.c_str(),
           TargetText(row).c_str());
    return;
  }
  printf("| %s | %s | %s | %.2fx %s | %s | %s |\n", row.name,
         FormatNanoseconds(result.timing.ours).c_str(),
         FormatNanoseconds(result.timing.against).c_str(), Factor(row, result), row.measure,
         TargetText(row).c_str(), Met(row, result) ? "met" : "missed");
}

bool Selected(const Row& row, int argc, char** argv) {
  if (argc < 2) return true;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], row.key) == 0) return true;
  }
  return false;
}

}  // namespace

RowResult RowError(const std::string& what, HRESULT result) {
  RowResult row = {};
  row.error = what + " failed: " + HexResult(result);
  return row;
}

std::string HexResult(HRESULT result) {
  char text[16];
  snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(result));
  return text;
}

int main(int argc, char** argv) {
  setvbuf(stdout, nullptr, _IONBF, 0);
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  int failures = 0;
  {
    BrisvelLibrary library;
    if (!library.Loaded()) {
      printf("brisvel_bench: Brisvel.DLL does not load from beside the program\n");
      return 1;
    }
    CPrefixRegistration registration;
    if (FAILED(registration.Result())) {
      printf("brisvel_bench: DllRegisterServer failed: %s\n",
             HexResult(registration.Result()).c_str());
      return 1;
    }
    BenchContext context = {&library};
    std::vector<std::pair<const Row*, RowResult>> results;
    for (const Row& row : kRows) {
      if (!Selected(row, argc, argv)) continue;
      printf("measuring %s...\n", row.name);
      results.emplace_back(&row, row.run(context));
    }

    printf("\n| row | ours | against | measured | target | |\n|---|---|---|---|---|---|\n");
    for (const auto& result : results) {
      PrintRow(*result.first, result.second);
      if (!result.second.error.empty()) ++failures;
    }
    printf("\nTimes are medians per operation; \"measured\" is the median of the ratios of\n"
           "samples taken side by side.\n\n");
    for (const auto& result : results) {
      printf("- %s: ours = %s; against = %s.%s%s\n", result.first->name, result.first->ours,
             result.first->against, result.second.note.empty() ? "" : " ",
             result.second.note.c_str());
    }
    printf("\nSizes:\n%s", DescribeImageSizes(::GetModuleHandleA("Brisvel.DLL")).c_str());
  }
  ::CoUninitialize();
  return failures == 0 ? 0 : 1;
}
