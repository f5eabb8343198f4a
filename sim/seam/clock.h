// The simulated wall clock.
//
// The program sets the clock once per run (to its fixed start date). On a
// development machine that must never reach the host's clock, so the model
// keeps the difference to the host's clock instead, and the program sees its
// date all the same. In virtual mode time stands still until a test or the
// select model advances it, so that a 30-second retransmission runs in
// milliseconds.
#pragma once

#include <stdint.h>

namespace sim {

class clock {
 public:
  // Simulated time, microseconds since the epoch.
  static int64_t now_us();
  // As settimeofday: from now on the clock reads t.
  static void set_us(int64_t t);
  // Microseconds since the model started or was reset; never jumps when the
  // clock is set.
  static int64_t elapsed_us();

  // Moves the simulated clock to t, for a test; not counted as a setting.
  static void warp_us(int64_t t);

  // How often, and to what, the program set the clock.
  static int set_calls();
  static int64_t last_set_us();

  // Virtual time: the clock moves only through advance_us.
  static void use_virtual(bool on);
  static bool is_virtual();
  static void advance_us(int64_t us);
  // Virtual time: f runs once, when an advance brings the elapsed time to t,
  // with the clock standing exactly at t; the rest of that advance follows
  // only if f returns. At once when t is no later than now. One alarm at a
  // time: a later call replaces it, nullptr and reset() clear it.
  static void alarm_at_elapsed_us(int64_t t, void (*f)());

  // Real mode, no offset, no recorded calls.
  static void reset();
};

}  // namespace sim
