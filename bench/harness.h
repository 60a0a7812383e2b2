// The timing harness: two ways of doing one thing, sampled in alternation
// after a warm-up, so that whatever the machine does meanwhile falls on both.
#ifndef BRISVEL_BENCH_HARNESS_H_
#define BRISVEL_BENCH_HARNESS_H_

#include <functional>
#include <vector>

// Seconds since an arbitrary start, from the performance counter.
double Now();

// Runs `calls` operations and answers the seconds they took; whatever it
// must prepare or clean up around them it leaves out of the time.
using Sampler = std::function<double(long calls)>;

// How long each sample should last and how many pairs of samples to take.
struct TimingPlan {
  double sampleSeconds;
  int repetitions;
};

// Medians over the samples, in nanoseconds per operation, and the median of
// the ratios ours / against of samples taken side by side.
struct PairTiming {
  double ours;
  double against;
  double ratio;
};

// Warms both samplers up, sizes each one's samples to the plan's length,
// then takes the pairs, the order alternating from pair to pair.
PairTiming TimePair(const Sampler& ours, const Sampler& against, const TimingPlan& plan);

// A sampler that calls `operation` once per operation, timing the loop.
template <class Operation>
Sampler Repeat(Operation operation) {
  return [operation](long calls) mutable {
    const double start = Now();
    for (long i = 0; i < calls; ++i) operation();
    return Now() - start;
  };
}

// One operation, timed by itself: answers its seconds, leaving out of the
// time whatever it prepares or cleans up around the operation.
using TimedOperation = std::function<double()>;

// For operations of tens of microseconds and more, whose samples a busy
// machine would otherwise hit unevenly: each sample runs the two in turns,
// the order alternating, so that every operation of ours has one of the
// other's right beside it. Medians of the samples, as TimePair gives them.
PairTiming TimeInTurns(const TimedOperation& ours, const TimedOperation& against,
                       const TimingPlan& plan);

// An operation timed as a whole.
template <class Operation>
TimedOperation Timed(Operation operation) {
  return [operation]() mutable {
    const double start = Now();
    operation();
    return Now() - start;
  };
}

// `timing` of operations that did `oursUnits` and `againstUnits` units of
// work each, per unit.
PairTiming PerUnit(PairTiming timing, double oursUnits, double againstUnits);

// The median of `values` (taken by copy).
double Median(std::vector<double> values);

#endif  // BRISVEL_BENCH_HARNESS_H_
