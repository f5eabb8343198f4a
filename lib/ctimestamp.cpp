// The program's clock: the time stamp every timer counts from (the clock
// set once to the fixed date), and the date and time as text.
#include "lib/ctimestamp.h"

#include <sys/time.h>
#include <time.h>

#include "lib/time_stamp_text.h"

bool ctimestamp::clock_set = false;

ctimestamp ctimestamp::now() {
  if (!clock_set) {
    timeval start = {fixed_date, 0};
    // May fail without privilege; times then run from the real clock.
    settimeofday(&start, nullptr);
    clock_set = true;
  }
  timeval tv;
  gettimeofday(&tv, nullptr);
  return ctimestamp{static_cast<int32_t>(tv.tv_sec), static_cast<int32_t>(tv.tv_usec)};
}

str time_stamp_text(bool hundredths) {
  timeval tv;
  gettimeofday(&tv, nullptr);
  time_t seconds = tv.tv_sec;
  tm local;
  char text[24];
  size_t n = 0;
  if (localtime_r(&seconds, &local) != nullptr) {
    n = strftime(text, sizeof text, "%Y%m%d%H%M%S", &local);
  }
  if (hundredths) {
    text[n++] = static_cast<char>('0' + tv.tv_usec / 100000 % 10);
    text[n++] = static_cast<char>('0' + tv.tv_usec / 10000 % 10);
  }
  return str(text, static_cast<int>(n));
}
