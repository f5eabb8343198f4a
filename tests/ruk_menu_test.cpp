// The address menu, end to end: key scripts typed on the simulated keypad,
// each screen read back from the LCD model.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/run_ruk.h"

namespace {

using ruk_test::run_result;
using screens = std::vector<std::string>;

// Opens the menu with a first key at 200 ms, types keys from 300 ms on, and
// quits with g afterwards. Returns the run; *shown gets every screen after
// the countdown's first, as "top|bottom".
run_result type(const std::string& keys, screens* shown) {
  ruk_test::run_options o;
  o.keys = "@200 5 @300 " + keys + " +500 g";
  run_result r = ruk_test::run_ruk(o);
  std::vector<ruk_test::screen> all = r.screens();
  shown->clear();
  for (size_t i = 1; i < all.size(); ++i) shown->push_back(all[i].top + "|" + all[i].bottom);
  return r;
}

const char* const ip_start = "IP Address:|█  .0  .0  .0     next";

TEST(Menu, TypingAnAddressMovesTheCursorThroughTheOctets) {
  screens shown;
  run_result r = type("1 9 2 1 6 8 0 * 5", &shown);
  EXPECT_EQ(r.status, 0) << r.dump();
  EXPECT_EQ(shown, (screens{
                       ip_start,
                       "IP Address:|1█ .0  .0  .0     next",
                       "IP Address:|19█.0  .0  .0     next",
                       "IP Address:|192.█  .0  .0     next",
                       "IP Address:|192.1█ .0  .0     next",
                       "IP Address:|192.16█.0  .0     next",
                       "IP Address:|192.168.█  .0     next",
                       "IP Address:|192.168.0█ .0     next",
                       "IP Address:|192.168.0  .█     next",
                       "IP Address:|192.168.0  .5█    next",
                   }))
      << r.dump();
}

TEST(Menu, CStepsThroughTheFourScreensWithTheirDefaults) {
  screens shown;
  run_result r = type("c c c c", &shown);
  EXPECT_EQ(r.status, 0) << r.dump();
  EXPECT_EQ(shown, (screens{
                       ip_start,
                       "TFTP Server:|█  .0  .0  .0     next",
                       "IP Gateway:|192.168.0  .1█    next",
                       "Netmask:|255.255.0  .0█    next",
                       ip_start,
                   }))
      << r.dump();
}

TEST(Menu, OnTheNetmaskTwoDigitsCompleteTheAddress) {
  screens shown;
  run_result r = type("c c c 5 5 7 *", &shown);
  ASSERT_EQ(shown.size(), 6u) << r.dump();
  EXPECT_EQ(shown[4], "Netmask:|255.255.0  .5 █   next");
  EXPECT_EQ(shown[5], "Netmask:|255.255.0  .55  █ next") << "then 7 and * are ignored";
}

TEST(Menu, BackspaceRemovesTheLastDigit) {
  screens shown;
  run_result r = type("i 1 9 2 i i", &shown);
  EXPECT_EQ(shown, (screens{
                       ip_start,  // i at the start changes nothing
                       "IP Address:|1█ .0  .0  .0     next",
                       "IP Address:|19█.0  .0  .0     next",
                       "IP Address:|192.█  .0  .0     next",
                       "IP Address:|19█.0  .0  .0     next",
                       "IP Address:|1█ .0  .0  .0     next",
                   }))
      << r.dump();
}

TEST(Menu, AFullAddressIgnoresDigitsUntilBackspace) {
  screens shown;
  run_result r = type("1 2 3 4 5 6 7 8 9 1 2 3 4 * 5 i", &shown);
  ASSERT_EQ(shown.size(), 14u) << r.dump();
  EXPECT_EQ(shown[12], "IP Address:|123.456.789.123 █ next");
  EXPECT_EQ(shown[13], "IP Address:|123.456.789.12█   next");
}

TEST(Menu, UResetsEveryAddressToZero) {
  screens shown;
  run_result r = type("1 2 u c c", &shown);
  ASSERT_EQ(shown.size(), 6u) << r.dump();
  EXPECT_EQ(shown[2], "IP Address:|12█.0  .0  .0     next");
  EXPECT_EQ(shown[3], ip_start);
  EXPECT_EQ(shown[5], "IP Gateway:|█  .0  .0  .0     next") << "the gateway's default is gone";
}

TEST(Menu, GQuitsWithoutUpdating) {
  screens shown;
  run_result r = type("1", &shown);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.find("ip = "), std::string::npos);
  EXPECT_TRUE(r.lines("restart").empty());
  EXPECT_EQ(r.lines("net").size(), 6u) << "eth0 only brought up";
}

TEST(Menu, HStartsTheUpdateWithTheAddressesAsTyped) {
  screens shown;
  ruk_test::run_options o;
  o.keys = "@200 5 @300 1 9 2 1 6 8 0 * 5 c 1 0 * * * 7 h";
  run_result r = ruk_test::run_ruk(o);
  EXPECT_EQ(r.status, 0) << r.dump();
  EXPECT_NE(r.out.find("ip = 192.168.0.5\ntftp = 10.0.0.7\ngw = 192.168.0.1\nnm = 255.255.0.0\n"),
            std::string::npos)
      << r.out;
  // No server answers in the test's own network: after six requests the
  // update gives up, and after five minutes without a key the run ends.
  std::vector<ruk_test::screen> all = r.screens();
  ASSERT_GE(all.size(), 2u) << r.dump();
  EXPECT_EQ(all[all.size() - 2].top, "No File or Server");
  EXPECT_EQ(all.back().top, "Canceled ...");
  EXPECT_TRUE(r.lines("restart").empty());
  EXPECT_FALSE(r.flash_changed()) << r.dump();
}

TEST(Menu, AStandardOutputNobodyReadsDoesNotEndTheProgram) {
  ruk_test::run_options o;
  o.keys = "@200 5 @300 h";
  o.stdout_unread = true;
  run_result r = ruk_test::run_ruk(o);
  EXPECT_EQ(r.signal, 0) << "not ended by SIGPIPE when the addresses were printed";
  EXPECT_EQ(r.status, 0) << r.dump();
  ASSERT_FALSE(r.screens().empty());
  EXPECT_EQ(r.screens().back().top, "Canceled ...");
}

}  // namespace
