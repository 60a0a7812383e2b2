// The rows of the benchmark table: what each compares, the target it should
// reach, and the function that measures it.
#ifndef BRISVEL_BENCH_ROWS_H_
#define BRISVEL_BENCH_ROWS_H_

#include <windows.h>

#include <string>

#include "bench/harness.h"

class BrisvelLibrary;

// A row's target: ours at most `bound` times the cost of the other, or the
// other at least `bound` times the cost of ours.
struct Goal {
  enum Kind { kAtMostCost, kAtLeastSpeedup } kind;
  double bound;
};

// What a row measured; `error` says why it measured nothing, `note` what
// bounds it or what it saw besides.
struct RowResult {
  PairTiming timing;
  std::string error;
  std::string note;
};

// What every row may use: the built Brisvel.DLL, loaded and registered.
struct BenchContext {
  BrisvelLibrary* library;
};

struct Row {
  const char* key;      // names the row on the command line
  const char* name;
  const char* ours;     // what is timed on our side
  const char* against;  // what it is compared with
  Goal goal;
  const char* measure;  // how the measured factor reads: "faster", "the time", ...
  RowResult (*run)(BenchContext& context);
};

RowResult MeasureNameLookup(BenchContext& context);
RowResult MeasureLateBoundCall(BenchContext& context);
RowResult MeasureCreation(BenchContext& context);
RowResult MeasureCrossApartmentCall(BenchContext& context);
RowResult MeasureCrossApartmentUnmarshal(BenchContext& context);
RowResult MeasureRegistration(BenchContext& context);
RowResult MeasureScriptScale(BenchContext& context);
RowResult MeasureConcurrency(BenchContext& context);

// A failed row's result.
RowResult RowError(const std::string& what, HRESULT result);

// "0x8000FFFF".
std::string HexResult(HRESULT result);

#endif  // BRISVEL_BENCH_ROWS_H_
