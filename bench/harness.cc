#include "bench/harness.h"

#include <windows.h>

#include <algorithm>
#include <cmath>

namespace {

// Calls per sample that make `sampler` last about `seconds`; the doubling
// that finds it is the sampler's warm-up.
long CallsForSeconds(const Sampler& sampler, double seconds) {
  long calls = 1;
  for (;;) {
    const double took = sampler(calls);
    // A tenth of the sample is long enough to extrapolate from.
    if (took >= seconds / 10 || calls >= (1L << 28)) {
      const double perCall = took / static_cast<double>(calls);
      return std::max(1L, static_cast<long>(std::ceil(seconds / std::max(perCall, 1e-9))));
    }
    calls *= 2;
  }
}

double NanosecondsPerCall(const Sampler& sampler, long calls) {
  return sampler(calls) * 1e9 / static_cast<double>(calls);
}

}  // namespace

double Now() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER counter;
  ::QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / frequency;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

PairTiming TimePair(const Sampler& ours, const Sampler& against, const TimingPlan& plan) {
  const long oursCalls = CallsForSeconds(ours, plan.sampleSeconds);
  const long againstCalls = CallsForSeconds(against, plan.sampleSeconds);
  // One full sample each, thrown away: caches and lazy set-up settle.
  ours(oursCalls);
  against(againstCalls);

  std::vector<double> oursTimes, againstTimes, ratios;
  for (int r = 0; r < plan.repetitions; ++r) {
    double o, a;
    if (r % 2 == 0) {
      o = NanosecondsPerCall(ours, oursCalls);
      a = NanosecondsPerCall(against, againstCalls);
    } else {
      a = NanosecondsPerCall(against, againstCalls);
      o = NanosecondsPerCall(ours, oursCalls);
    }
    oursTimes.push_back(o);
    againstTimes.push_back(a);
    ratios.push_back(o / a);
  }
  return {Median(oursTimes), Median(againstTimes), Median(ratios)};
}

PairTiming TimeInTurns(const TimedOperation& ours, const TimedOperation& against,
                       const TimingPlan& plan) {
  // A sample's worth of turns, at least two, warms both up and sizes the
  // samples.
  double spent = 0;
  long turns = 0;
  while (turns < 2 || spent < plan.sampleSeconds) {
    spent += ours() + against();
    ++turns;
  }
  const long turnsPerSample =
      std::max(1L, static_cast<long>(plan.sampleSeconds / (spent / static_cast<double>(turns))));

  std::vector<double> oursTimes, againstTimes, ratios;
  for (int r = 0; r < plan.repetitions; ++r) {
    double oursSum = 0, againstSum = 0;
    for (long t = 0; t < turnsPerSample; ++t) {
      if ((r + t) % 2 == 0) {
        oursSum += ours();
        againstSum += against();
      } else {
        againstSum += against();
        oursSum += ours();
      }
    }
    oursTimes.push_back(oursSum * 1e9 / static_cast<double>(turnsPerSample));
    againstTimes.push_back(againstSum * 1e9 / static_cast<double>(turnsPerSample));
    ratios.push_back(oursSum / againstSum);
  }
  return {Median(oursTimes), Median(againstTimes), Median(ratios)};
}

PairTiming PerUnit(PairTiming timing, double oursUnits, double againstUnits) {
  timing.ours /= oursUnits;
  timing.against /= againstUnits;
  timing.ratio *= againstUnits / oursUnits;
  return timing;
}
