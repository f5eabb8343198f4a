// timeout: a one-shot timer, and the process-wide list of armed timers.
//
// A timer is armed with a delay, a function and two untyped arguments; armed
// timers stand in timeout::timeouts ordered by expiry, equal expiries in the
// order of arming. The list does not own the timers: a timer lives in its
// owner and must outlive the time it is armed; its destructor disarms it.
//
// The event-loop contract, followed by every loop that dispatches timers:
//   1. if timeout::empty(), wait for input without a time limit;
//   2. else d = timeout::delay(); if d is zero do not wait and treat the pass
//      as a time-out, otherwise wait for input at most d;
//   3. after a time-out, if !timeout::empty(), call timeout::next() once.
// So one timer runs per pass. A wait that fails is not the end of the
// process (the phone may have no software but this program): the loop calls
// select_backoff and goes on with its next pass.
#pragma once

#include <sys/time.h>

#include "lib/ctimestamp.h"
#include "lib/list_timeoutp.h"

class timeout {
 public:
  typedef void (*function_t)(void* arg1, void* arg2);

  timeout() : function(nullptr), arg1(nullptr), arg2(nullptr), expires{0, 0}, position() {}
  // A copy of an armed timer is a timer of its own, armed for the same expiry.
  timeout(const timeout& source);
  timeout& operator=(const timeout& source);
  ~timeout();

  // Arms the timer ms milliseconds from now (f not null), moving it if it
  // was armed already. A delay below 0 counts as 0.
  void callback(int ms, function_t f, void* a1, void* a2);
  // Disarms the timer; nothing happens if it is idle.
  void clear();
  // Disarms the timer, then calls its function, which may arm it again.
  void run();
  bool armed() const { return function != nullptr; }

  // Milliseconds (rounded to seconds) until the expiry; negative once passed.
  // Beyond the int range (a clock set far back) they stop at its ends.
  int remaining_ms() const;
  int remaining_seconds() const;

  // Runs the earliest armed timer; nothing when none is armed.
  static void next();
  // Time until the earliest expiry, never negative, below a millisecond
  // dropped. Requires an armed timer.
  static timeval delay();
  static bool empty() { return timeouts.empty(); }

  void add_to_list();
  void remove_from_list();

  function_t function;
  void* arg1;
  void* arg2;
  ctimestamp expires;
  list_timeoutp::iterator position;

  static list_timeoutp timeouts;
};

// The pause of an event loop after its wait failed for the failures-th time
// in a row (1 for the first): 10 ms, doubling with each failure up to 1 s, so
// that a descriptor gone bad neither ends the process nor spins the
// processor. It waits with select on no descriptor, which fails only for a
// limit out of range, and then waits no further.
void select_backoff(int failures);
