#pragma once
// The shortest wall time of several runs of a benchmark step, in seconds; Result keeps what
// the last run answered.
#include <algorithm>
#include <chrono>

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
