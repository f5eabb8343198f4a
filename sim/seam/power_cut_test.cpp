// A power cut ends the run at its moment and at no other: at a time on the
// virtual clock, after a transcript line, or by a timer on the real clock.
#include "sim/seam/power_cut.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include "sim/seam/child_test.h"
#include "sim/seam/clock.h"
#include "sim/seam/transcript.h"

namespace {

TEST(PowerCut, TheSettingTakesMicrosecondsOrALineOfAKindAndMicrosecondsAfterIt) {
  sim::power_cut_moment m;
  ASSERT_TRUE(sim::parse_power_cut("2500000", &m));
  EXPECT_EQ(m.kind, "");
  EXPECT_EQ(m.us, 2500000);
  ASSERT_TRUE(sim::parse_power_cut("flash:40+1500", &m));
  EXPECT_EQ(m.kind, "flash");
  EXPECT_EQ(m.after_line, 40);
  EXPECT_EQ(m.us, 1500);
  ASSERT_TRUE(sim::parse_power_cut("line:7", &m));
  EXPECT_EQ(m.kind, "line");
  EXPECT_EQ(m.after_line, 7);
  EXPECT_EQ(m.us, 0);
  for (const char* bad : {"", "-5", "+5", "2.5", "12ms", "line:", "line:0", "line:3+", "line:x+1",
                          ":3", "Screen:3", "99999999999999999999"}) {
    EXPECT_FALSE(sim::parse_power_cut(bad, &m)) << bad;
  }
}

void record_elapsed() {
  static int64_t at;
  at = sim::clock::elapsed_us();
  sim::transcript("test", std::to_string(at));
}

TEST(PowerCut, TheClocksAlarmRingsWithTheClockStandingAtItsMoment) {
  sim::clock::use_virtual(true);
  sim::transcript_clear();
  int64_t start = sim::clock::elapsed_us();
  sim::clock::alarm_at_elapsed_us(start + 700, record_elapsed);
  sim::clock::advance_us(500);
  EXPECT_TRUE(sim::transcript_lines().empty());
  sim::clock::advance_us(1000);
  EXPECT_EQ(sim::transcript_lines(),
            std::vector<std::string>{"test\t" + std::to_string(start + 700)});
  EXPECT_EQ(sim::clock::elapsed_us(), start + 1500) << "the rest of the advance follows";
  sim::clock::advance_us(1000);
  EXPECT_EQ(sim::transcript_lines().size(), 1u) << "once";
  sim::clock::use_virtual(false);
}

TEST(PowerCut, ACutAfterALineComesRightAfterItOrThatLongLaterOnTheClock) {
  sim_test::ended e = sim_test::run_child(9, [] {
    sim::arm_power_cut({"flash", 2, 0});
    sim::transcript("flash", "1");
    sim::transcript("key", "1");
    ASSERT_EQ(write(9, "1", 1), 1);
    sim::transcript("flash", "2");
    ASSERT_EQ(write(9, "2", 1), 1);
  });
  EXPECT_EQ(e.signal, SIGKILL);
  EXPECT_EQ(e.written, "1") << "only lines of the kind count";

  sim::clock::use_virtual(true);
  e = sim_test::run_child(9, [] {
    sim::arm_power_cut({"line", 2, 300});
    sim::transcript("flash", "1");
    sim::clock::advance_us(1000);
    sim::transcript("key", "1");
    sim::clock::advance_us(299);
    ASSERT_EQ(write(9, "a", 1), 1);
    sim::clock::advance_us(1);
    ASSERT_EQ(write(9, "b", 1), 1);
  });
  sim::clock::use_virtual(false);
  EXPECT_EQ(e.signal, SIGKILL);
  EXPECT_EQ(e.written, "a");
}

TEST(PowerCut, OnTheRealClockATimerCuts) {
  sim_test::ended e = sim_test::run_child(9, [] {
    sim::arm_power_cut({"", 0, 20000});
    for (int i = 0; i < 100; ++i) {
      timespec pause = {0, 100000000};
      nanosleep(&pause, nullptr);
    }
    ASSERT_EQ(write(9, "ten seconds", 11), 11);
  });
  EXPECT_EQ(e.signal, SIGKILL);
  EXPECT_EQ(e.written, "");
}

}  // namespace
