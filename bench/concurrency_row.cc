// Agents in two single-threaded apartments calling Run and Invoke at the
// same time, against one apartment alone: the library shares nothing on
// these paths, so two should do nearly twice the work of one.
#include <stdio.h>

#include <algorithm>
#include <vector>

#include "bench/agent_calls.h"
#include "bench/rows.h"
#include "server/handle.h"

namespace {

const TimingPlan kPlan = {0.1, 21};

// What one apartment's thread does per operation, given its Agent.
using Work = void (*)(IAgent* agent, CRunCall* call, BSTR link);

void CallAgent(IAgent* agent, CRunCall* call, BSTR link) {
  agent->Run(link);
  call->Invoke(agent);
}

volatile unsigned g_arithmeticSink = 0;

// As much plain arithmetic as a thread of this machine does in about the
// time of one CallAgent, sharing nothing with the other thread.
void Arithmetic(IAgent*, CRunCall*, BSTR) {
  unsigned value = g_arithmeticSink;
  for (int i = 0; i < 2000; ++i) value = value * 1664525u + 1013904223u;
  g_arithmeticSink = value;
}

struct Apartment {
  const BrisvelLibrary* library;
  Work work;
  long calls;
  HANDLE ready;
  HANDLE start;
  HRESULT result;
};

DWORD WINAPI ApartmentMain(void* argument) {
  Apartment& apartment = *static_cast<Apartment*>(argument);
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  {
    CInterfacePtr<IAgent> agent;
    apartment.result = CreateAgent(*apartment.library, agent.Receive());
    CBstr link(::SysAllocString(kRefusedLink));
    CRunCall call(kRefusedLink);
    ::SetEvent(apartment.ready);
    ::WaitForSingleObject(apartment.start, INFINITE);
    if (SUCCEEDED(apartment.result)) {
      for (long i = 0; i < apartment.calls; ++i) apartment.work(agent.Get(), &call, link.Get());
    }
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
                   start, E_FAIL};
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

// Nanoseconds per operation of two apartments sharing the work, against one
// doing it all, with runs that last about a sample's length in one.
PairTiming TimeApartments(const BrisvelLibrary& library, Work work, HRESULT* failure) {
  const long probeCalls = 1000;
  const double probe = ApartmentsRun(library, 1, work, probeCalls, failure)();
  const long calls =
      std::max(2L, static_cast<long>(kPlan.sampleSeconds / 2 / (probe / probeCalls)) & ~1L);
  const PairTiming timing = TimeInTurns(ApartmentsRun(library, 2, work, calls, failure),
                                        ApartmentsRun(library, 1, work, calls, failure), kPlan);
  return PerUnit(timing, calls, calls);
}

}  // namespace

RowResult MeasureConcurrency(BenchContext& context) {
  const BrisvelLibrary& library = *context.library;
  HRESULT failure = S_OK;
  RowResult row;
  row.timing = TimeApartments(library, CallAgent, &failure);
  if (FAILED(failure)) return RowError("an Agent in each apartment", failure);
  const PairTiming machine = TimeApartments(library, Arithmetic, &failure);
  char note[160];
  snprintf(note, sizeof note,
           "the machine's own ceiling: 2 threads of plain arithmetic give %.2fx the throughput "
           "of 1",
           1 / machine.ratio);
  row.note = note;
  return row;
}
