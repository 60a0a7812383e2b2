// How long a late-bound caller's lookup of "Run" takes on an Agent, answered
// from the name cache, against the same lookup made by IAgent's description
// itself. Prints both medians and their ratio.
#include <windows.h>
#include <shlwapi.h>
#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/bare_agent.h"
#include "support/type_library.h"

namespace {

const int kWarmUpCalls = 20000;
const int kRepetitions = 31;
const int kCallsPerRepetition = 200000;

// Redirects this process's HKEY_CLASSES_ROOT to a private key, so that the
// registration the benchmark needs is seen by no one else.
class CPrivateClasses {
 public:
  CPrivateClasses() : path_("Software\\Brisvel Bench\\" + std::to_string(::GetCurrentProcessId())) {
    ::RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      &key_, nullptr);
    ::RegOverridePredefKey(HKEY_CLASSES_ROOT, key_);
  }
  ~CPrivateClasses() {
    ::RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    ::RegCloseKey(key_);
    ::SHDeleteKeyA(HKEY_CURRENT_USER, path_.c_str());
  }

 private:
  std::string path_;
  HKEY key_ = nullptr;
};

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER counter;
  ::QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The median over the repetitions of nanoseconds per call of `lookup`.
template <class Lookup>
double MedianNanoseconds(Lookup lookup) {
  for (int i = 0; i < kWarmUpCalls; ++i) lookup();
  std::vector<double> perCall;
  for (int r = 0; r < kRepetitions; ++r) {
    const double start = Now();
    for (int i = 0; i < kCallsPerRepetition; ++i) lookup();
    perCall.push_back((Now() - start) * 1e9 / kCallsPerRepetition);
  }
  std::sort(perCall.begin(), perCall.end());
  return perCall[perCall.size() / 2];
}

}  // namespace

int main() {
  CPrivateClasses classes;
  const HRESULT registered = RegisterBrisvelTypeLibrary();
  if (FAILED(registered)) {
    printf("registering the type library of Brisvel.DLL failed: 0x%08lX\n", registered);
    return 1;
  }
  BareAgent agent;
  ITypeInfo* description = nullptr;
  const HRESULT loaded = agent.GetTypeInfo(0, 0, &description);
  if (FAILED(loaded)) {
    printf("loading the description failed: 0x%08lX\n", loaded);
    return 1;
  }

  LPOLESTR names[] = {const_cast<LPOLESTR>(L"Run")};
  volatile DISPID sink = 0;
  const double fromCache = MedianNanoseconds([&] {
    DISPID dispid;
    agent.GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid);
    sink = dispid;
  });
  const double fromDescription = MedianNanoseconds([&] {
    DISPID dispid;
    description->GetIDsOfNames(names, 1, &dispid);
    sink = dispid;
  });
  description->Release();

  printf("GetIDsOfNames(\"Run\"), median of %d runs of %d calls after %d warm-up calls:\n",
         kRepetitions, kCallsPerRepetition, kWarmUpCalls);
  printf("  Agent (name cache):          %8.1f ns\n", fromCache);
  printf("  IAgent's type information:   %8.1f ns\n", fromDescription);
  printf("  ratio (type information / Agent): %.1f\n", fromDescription / fromCache);
  return sink == 1 ? 0 : 1;
}
