// Agents in two single-threaded apartments calling Run and Invoke at the
// same time, against one apartment alone: the library shares nothing on
// these paths, so two should do nearly twice the work of one, as far as the
// machine lets two threads do twice the work of one. To know how far that
// is, two kinds of work that share nothing and call no library are taken in
// the same turns (plain arithmetic, and a scan of the link in this program's
// own code, much like Run's check), and so is the platform's own
// ITypeInfo::Invoke of Run, which every late-bound call ends in.
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include "bench/agent_calls.h"
#include "bench/rows.h"
#include "server/handle.h"

namespace {

const TimingPlan kPlan = {0.1, 21};

// What one apartment's thread has at hand for its work.
struct ApartmentTools {
  IAgent* agent;
  ITypeInfo* description;  // the Agent's
  CRunCall* call;
  BSTR link;
};

// What one apartment's thread does per operation; the answer keeps the
// compiler from dropping work that has no other effect.
using Work = unsigned (*)(const ApartmentTools& tools);

unsigned CallAgent(const ApartmentTools& tools) {
  return static_cast<unsigned>(tools.agent->Run(tools.link)) +
         static_cast<unsigned>(tools.call->Invoke(tools.agent));
}

unsigned InvokeThroughDescription(const ApartmentTools& tools) {
  return static_cast<unsigned>(tools.call->InvokeThrough(tools.description, tools.agent));
}

unsigned Arithmetic(const ApartmentTools& tools) {
  unsigned value = tools.link[0];
  for (int i = 0; i < 2000; ++i) value = value * 1664525u + 1013904223u;
  return value;
}

__attribute__((noinline)) unsigned ScanLink(const wchar_t* link) {
  size_t length = 0;
  while (link[length]) ++length;
  return length > 5 && memcmp(link, L"ed2k:", 5 * sizeof(wchar_t)) == 0;
}

unsigned Scan(const ApartmentTools& tools) {
  unsigned found = 0;
  for (int i = 0; i < 8; ++i) found += ScanLink(tools.link);
  return found;
}

struct Apartment {
  const BrisvelLibrary* library;
  Work work;
  long calls;
  HANDLE ready;
  HANDLE start;
  HRESULT result;
  unsigned sink;
};

DWORD WINAPI ApartmentMain(void* argument) {
  Apartment& apartment = *static_cast<Apartment*>(argument);
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  {
    CInterfacePtr<IAgent> agent;
    CInterfacePtr<ITypeInfo> description;
    apartment.result = CreateAgent(*apartment.library, agent.Receive());
    if (SUCCEEDED(apartment.result)) {
      apartment.result = agent.Get()->GetTypeInfo(0, LOCALE_USER_DEFAULT, description.Receive());
    }
    CBstr link(::SysAllocString(kRefusedLink));
    CRunCall call(kRefusedLink);
    const ApartmentTools tools = {agent.Get(), description.Get(), &call, link.Get()};
    const Work work = apartment.work;
    const long calls = apartment.calls;
    unsigned sink = 0;
    ::SetEvent(apartment.ready);
    ::WaitForSingleObject(apartment.start, INFINITE);
    if (SUCCEEDED(apartment.result)) {
      for (long i = 0; i < calls; ++i) sink += work(tools);
    }
    apartment.sink = sink;
  }
  ::CoUninitialize();
  return 0;
}

// `calls` operations shared out over `threads` apartments, timed from the
// moment all of them are ready until the last one is done.
TimedOperation ApartmentsRun(const BrisvelLibrary& library, int threads, Work work, long calls,
                             HRESULT* failure) {
  return [&library, threads, work, calls, failure] {
    HANDLE start = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::vector<Apartment> apartments(threads);
    std::vector<HANDLE> handles;
    for (Apartment& apartment : apartments) {
      apartment = {&library, work, calls / threads, ::CreateEventA(nullptr, TRUE, FALSE, nullptr),
                   start, E_FAIL, 0};
      handles.push_back(::CreateThread(nullptr, 0, ApartmentMain, &apartment, 0, nullptr));
    }
    for (Apartment& apartment : apartments) ::WaitForSingleObject(apartment.ready, INFINITE);
    const double begin = Now();
    ::SetEvent(start);
    ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), TRUE, INFINITE);
    const double took = Now() - begin;
    for (size_t i = 0; i < handles.size(); ++i) {
      if (FAILED(apartments[i].result)) *failure = apartments[i].result;
      ::CloseHandle(handles[i]);
      ::CloseHandle(apartments[i].ready);
    }
    ::CloseHandle(start);
    return took;
  };
}

// One kind of work in two apartments and in one, with runs long enough to
// keep one apartment busy for about half a sample.
struct Workload {
  TimedOperation twoApartments;
  TimedOperation oneApartment;
  long calls;
};

Workload MakeWorkload(const BrisvelLibrary& library, Work work, HRESULT* failure) {
  const long probeCalls = 1000;
  const double probe = ApartmentsRun(library, 1, work, probeCalls, failure)();
  const long calls =
      std::max(2L, static_cast<long>(kPlan.sampleSeconds / 2 / (probe / probeCalls)) & ~1L);
  return {ApartmentsRun(library, 2, work, calls, failure),
          ApartmentsRun(library, 1, work, calls, failure), calls};
}

// Time of two apartments over time of one, for each repetition.
struct Turns {
  std::vector<double> two, one, ratios;
};

}  // namespace

// Every workload's runs are taken in turns, the order turning round from
// one repetition to the next, so that all of them meet the same moments of
// a machine that other work keeps busy.
RowResult MeasureConcurrency(BenchContext& context) {
  const BrisvelLibrary& library = *context.library;
  HRESULT failure = S_OK;
  const Workload workloads[] = {MakeWorkload(library, CallAgent, &failure),
                                MakeWorkload(library, Arithmetic, &failure),
                                MakeWorkload(library, Scan, &failure),
                                MakeWorkload(library, InvokeThroughDescription, &failure)};
  if (FAILED(failure)) return RowError("an Agent in each apartment", failure);
  const size_t kWorkloads = sizeof workloads / sizeof workloads[0];

  std::vector<Turns> turns(kWorkloads);
  std::vector<double> shares;
  for (int r = 0; r < kPlan.repetitions; ++r) {
    double two[kWorkloads], one[kWorkloads];
    for (size_t i = 0; i < 2 * kWorkloads; ++i) {
      const size_t step = (i + r) % (2 * kWorkloads);
      const Workload& workload = workloads[step / 2];
      if (step % 2) {
        one[step / 2] = workload.oneApartment();
      } else {
        two[step / 2] = workload.twoApartments();
      }
    }
    for (size_t w = 0; w < kWorkloads; ++w) {
      turns[w].two.push_back(two[w] * 1e9 / workloads[w].calls);
      turns[w].one.push_back(one[w] * 1e9 / workloads[w].calls);
      turns[w].ratios.push_back(two[w] / one[w]);
    }
    // The Agents' gain as a share of the gain of the platform's Invoke alone.
    shares.push_back((one[0] / two[0]) / (one[3] / two[3]));
  }
  RowResult row;
  row.timing = {Median(turns[0].two), Median(turns[0].one), Median(turns[0].ratios)};
  char note[400];
  snprintf(note, sizeof note,
           "Bound, measured in the same turns: 2 threads against 1 gave %.2fx the throughput "
           "for plain arithmetic, %.2fx for a scan of the link in this program's own code (no "
           "library call), and %.2fx for the platform's own ITypeInfo::Invoke of Run on an "
           "Agent; the Agents' gain was %.2f of the latter's.",
           1 / Median(turns[1].ratios), 1 / Median(turns[2].ratios),
           1 / Median(turns[3].ratios), Median(shares));
  row.note = note;
  return row;
}
