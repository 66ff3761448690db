#pragma once
// Timing helpers of the benchmarks.
#include <time.h>

#include <algorithm>
#include <chrono>

// CPU time of the process: the loops run on one thread, so this is what they cost, also on a
// machine busy with other work.
inline double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// The shortest wall time of several runs of a benchmark step, in seconds; Result keeps what
// the last run answered.
template <class F, class R>
double Best(int Runs, F&& Step, R& Result) {
  double best = 1e9;
  for (int i = 0; i < Runs; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    Result = Step();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  return best;
}
