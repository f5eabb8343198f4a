// The start-up countdown, end to end: the simulated ruk as a process, its
// screens read back from the LCD model.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/run_ruk.h"

namespace {

using ruk_test::run_options;
using ruk_test::run_result;

constexpr long tolerance_ms = 50;

std::vector<std::string> bottoms(const run_result& r) {
  std::vector<std::string> rows;
  for (const ruk_test::screen& s : r.screens()) rows.push_back(s.bottom);
  return rows;
}

long end_ms(const run_result& r) {
  for (const ruk_test::transcript_line& t : r.transcript) {
    if (t.kind == "end") return t.ms;
  }
  return -1;
}

TEST(Countdown, WithoutAKeyItShows321AndEndsAfterThreeSeconds) {
  run_result r = ruk_test::run_ruk(run_options());
  EXPECT_EQ(r.status, 0) << r.dump();
  std::vector<ruk_test::screen> screens = r.screens();
  ASSERT_EQ(screens.size(), 3u) << r.dump();
  const char* bottom[] = {"Press any key:3", "Press any key:2", "Press any key:1"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(screens[i].top, "To Update by TFTP:");
    EXPECT_EQ(screens[i].bottom, bottom[i]);
    EXPECT_NEAR(screens[i].ms, 1000 * i, tolerance_ms);
  }
  EXPECT_NEAR(end_ms(r), 3000, tolerance_ms) << r.dump();
  EXPECT_TRUE(r.lines("restart").empty());
}

TEST(Countdown, Eth0IsBroughtUpBeforeAnythingIsShown) {
  run_result r = ruk_test::run_ruk(run_options());
  ASSERT_FALSE(r.transcript.empty());
  EXPECT_EQ(r.transcript[0].kind, "net");
  EXPECT_EQ(r.transcript[0].text, "socket AF_PACKET SOCK_PACKET ETH_P_ALL");
  std::vector<std::string> net = r.lines("net");
  EXPECT_EQ(net.size(), 6u) << r.dump();
  EXPECT_EQ(net.at(4), "SIOCSIFFLAGS eth0 0x1063");
}

TEST(Countdown, GOrHDuringTheCountdownOpenTheMenu) {
  for (const char* key : {"g", "h"}) {
    run_options o;
    o.keys = std::string("@1500 ") + key + " @4000 g";
    run_result r = ruk_test::run_ruk(o);
    EXPECT_EQ(r.status, 0) << r.dump();
    std::vector<ruk_test::screen> screens = r.screens();
    ASSERT_EQ(screens.size(), 3u) << key << "\n" << r.dump();
    EXPECT_EQ(screens[1].bottom, "Press any key:2");
    EXPECT_EQ(screens[2].top, "IP Address:");
    EXPECT_EQ(screens[2].bottom, "█  .0  .0  .0     next");
    EXPECT_NEAR(screens[2].ms, 1500, tolerance_ms);
    EXPECT_NEAR(end_ms(r), 4000, tolerance_ms) << "the countdown stopped; g in the menu quits";
    EXPECT_EQ(r.out.find("ip = "), std::string::npos) << "no update";
  }
}

TEST(Countdown, AReleaseOrFailedReadIsDroppedAndTheCountdownRunsOn) {
  for (const char* event : {"5/0", "!", "#40"}) {
    run_options o;
    o.keys = std::string("@500 ") + event;
    run_result r = ruk_test::run_ruk(o);
    EXPECT_EQ(r.status, 0) << r.dump();
    EXPECT_EQ(bottoms(r), (std::vector<std::string>{"Press any key:3", "Press any key:2",
                                                    "Press any key:1"}))
        << event << "\n"
        << r.dump();
    EXPECT_NEAR(end_ms(r), 3000, tolerance_ms) << "the start-up goes on";
  }
  run_options o;
  o.keys = "@500 5/0 @1500 1 @2500 g";
  run_result r = ruk_test::run_ruk(o);
  EXPECT_EQ(bottoms(r), (std::vector<std::string>{"Press any key:3", "Press any key:2",
                                                  "█  .0  .0  .0     next"}))
      << "a later press still opens the menu\n"
      << r.dump();
}

TEST(Countdown, WithoutAKeypadTheCountdownRunsOut) {
  run_options o;
  o.keys = "@500 g @1000 g";
  o.env = {{"RUK_SIM_KEYPAD", "missing"}};
  run_result r = ruk_test::run_ruk(o);
  EXPECT_EQ(r.status, 0) << r.dump();
  EXPECT_EQ(r.screens().size(), 3u);
  EXPECT_TRUE(r.lines("key").empty());
  EXPECT_NEAR(end_ms(r), 3000, tolerance_ms);
}

TEST(Countdown, AKeypadOnDescriptor0IsWatchedToo) {
  run_options o;
  o.close_stdin = true;
  o.keys = "@500 7 @1500 g";
  run_result r = ruk_test::run_ruk(o);
  EXPECT_EQ(r.status, 0) << r.dump();
  EXPECT_EQ(bottoms(r), (std::vector<std::string>{"Press any key:3", "█  .0  .0  .0     next"}))
      << r.dump();
  EXPECT_NEAR(end_ms(r), 1500, tolerance_ms);
}

TEST(Countdown, TheKeypadPathComesFromTheCommandLine) {
  run_options o;
  o.args = {"--keyboard", "/dev/kbd"};
  o.env = {{"RUK_SIM_KEYPAD", "/dev/kbd"}};
  o.keys = "@500 7 @1500 g";
  run_result r = ruk_test::run_ruk(o);
  EXPECT_EQ(r.status, 0) << r.dump();
  EXPECT_EQ(r.lines("key"), (std::vector<std::string>{"press 7 14", "release 7 14", "press g 20"}));
  EXPECT_NEAR(end_ms(r), 1500, tolerance_ms);
}

TEST(Countdown, ABadKeyScriptStopsTheRunWithItsReason) {
  run_options o;
  o.keys = "@500 7 @x";
  run_result r = ruk_test::run_ruk(o);
  EXPECT_EQ(r.status, transcript_format::status::setting_error);
  EXPECT_EQ(r.err,
            "ruk-sim: RUK_SIM_KEYS: word 3 \"@x\": \"@\" needs a whole number of milliseconds\n");
}

}  // namespace
