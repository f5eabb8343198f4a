#include "lib/ctimestamp.h"

#include <sys/time.h>

bool ctimestamp::clock_set = false;

ctimestamp ctimestamp::now() {
  if (!clock_set) {
    timeval start = {fixed_date, 0};
    settimeofday(&start, nullptr);  // may fail without privilege; times then run from the real clock
    clock_set = true;
  }
  timeval tv;
  gettimeofday(&tv, nullptr);
  return ctimestamp{static_cast<int32_t>(tv.tv_sec), static_cast<int32_t>(tv.tv_usec)};
}
