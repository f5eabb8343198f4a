// The benchmarks' stopwatch: seconds on the monotonic clock.
#pragma once

#include <time.h>

inline double now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}
