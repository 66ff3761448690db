#pragma once
// Runs Body with the files this process writes limited to Bytes, as a disk that fills up would:
// a write beyond the limit fails (EFBIG) instead of raising SIGXFSZ.
#include <sys/resource.h>

#include <csignal>

#include <gtest/gtest.h>

template <class F>
void WithFilesLimitedTo(rlim_t Bytes, F&& Body) {
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto* savedSignal = std::signal(SIGXFSZ, SIG_IGN);
  const rlimit limited{Bytes, saved.rlim_max};
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  Body();
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, savedSignal);
}
