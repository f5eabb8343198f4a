// eth0 at start-up, end to end: the simulated ruk switches on a real eth0 in
// a namespace the test makes, and refuses to reach the kernel anywhere else.
#include <gtest/gtest.h>

#include <string>

#include "tests/netns.h"
#include "tests/run_ruk.h"

namespace {

TEST(RukEth0, StartUpBringsARealEth0Up) {
  ruk_test::netns ns;
  if (!ns.ready()) GTEST_SKIP() << "skipped: " << ns.why();
  EXPECT_EQ(ns.ip("link show dev eth0").find(",UP"), std::string::npos) << "down before";
  ruk_test::run_options o;
  o.netns = ns.name();
  o.env = {{"RUK_SIM_NET", "kernel"}};
  ruk_test::run_result r = ruk_test::run_ruk(o);
  EXPECT_EQ(r.status, 0) << r.dump();
  std::string link = ns.ip("link show dev eth0");
  EXPECT_NE(link.find(",UP"), std::string::npos) << link;
  ASSERT_EQ(r.lines("net").size(), 6u) << r.dump();
  EXPECT_EQ(r.lines("net")[1].substr(0, 20), "SIOCGIFHWADDR eth0 =");
}

TEST(RukEth0, KernelModeOutsideATestNamespaceStopsTheRun) {
  ruk_test::run_options o;
  o.env = {{"RUK_SIM_NET", "kernel"}};
  ruk_test::run_result r = ruk_test::run_ruk(o);
  EXPECT_EQ(r.status, transcript_format::status::setting_error);
  EXPECT_EQ(r.err,
            "ruk-sim: RUK_SIM_NET: kernel mode refused: this process is not inside a network "
            "namespace made for a test (one bound at /run/netns/ruk-test-NAME)\n");
  EXPECT_TRUE(r.lines("net").empty()) << "stopped before the first request";
}

TEST(RukEth0, WithoutEth0TheProgramGoesOn) {
  ruk_test::run_options o;
  o.env = {{"RUK_SIM_ETH0", "missing"}};
  ruk_test::run_result r = ruk_test::run_ruk(o);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.lines("net"),
            (std::vector<std::string>{"socket AF_PACKET SOCK_PACKET ETH_P_ALL",
                                      "SIOCGIFHWADDR eth0 failed: No such device", "close"}));
  EXPECT_EQ(r.screens().size(), 3u);
}

}  // namespace
