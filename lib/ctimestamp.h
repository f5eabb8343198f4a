// ctimestamp: a point in wall-clock time.
#pragma once

#include <stdint.h>

struct ctimestamp {
  int32_t seconds;
  int32_t microseconds;

  // The current time. The first call in a process sets the system clock to
  // the phone's fixed start date (2001-12-24 00:00:00 UTC, whatever the
  // result), so that every run counts from the same point.
  static ctimestamp now();

  static bool clock_set;
  static constexpr int32_t fixed_date = 1009152000;
};

// Strictly later: seconds first, then microseconds.
inline bool operator>(const ctimestamp& a, const ctimestamp& b) {
  return a.seconds > b.seconds || (a.seconds == b.seconds && a.microseconds > b.microseconds);
}
