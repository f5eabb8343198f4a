// The main loop's own rules, in process on the simulator's virtual clock.
#include "app/main_loop.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "app/keypad.h"
#include "lib/ctimestamp.h"
#include "sim/seam/clock.h"
#include "sim/seam/fresh_phone.h"

namespace {

int runs = 0;
void stop_loop(void*, void*) {
  ++runs;
  bRunning = 0;
}

TEST(MainLoop, AFailingSelectIsTriedAgainAndTheTimersStillRun) {
  sim::fresh_phone();
  sim::clock::use_virtual(true);
  ctimestamp::now();  // the program's first reading sets the clock
  // A descriptor that is not open: every select on it fails (EBADF).
  kbd_fd = open("/dev/null", O_RDONLY);
  ASSERT_GE(kbd_fd, 0);
  close(kbd_fd);
  bRunning = 1;
  timeout stop;
  stop.callback(5000, stop_loop, nullptr, nullptr);
  int64_t started = sim::clock::elapsed_us();
  EXPECT_EQ(main_loop(), 0);
  EXPECT_EQ(runs, 1);
  // The back-off grows to a second between tries, so the timer runs within
  // a second of its time.
  int64_t ms = (sim::clock::elapsed_us() - started) / 1000;
  EXPECT_GE(ms, 5000);
  EXPECT_LT(ms, 6000);
  kbd_fd = -1;
  bRunning = 1;
  sim::clock::use_virtual(false);
}

}  // namespace
