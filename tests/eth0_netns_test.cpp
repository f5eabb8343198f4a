// eth0's set-up for real: in a network namespace the test makes, on a veth
// named eth0, and read back with `ip`.
#include <gtest/gtest.h>

#include <string>

#include "app/net_setup.h"
#include "sim/seam/fresh_phone.h"
#include "sim/seam/netconfig_model.h"
#include "tests/netns.h"

namespace {

class RealEth0 : public testing::Test {
 protected:
  void SetUp() override {
    sim::fresh_phone();
    if (!ns.ready()) GTEST_SKIP() << "skipped: " << ns.why();
    ASSERT_TRUE(ns.enter());
    std::string why;
    ASSERT_TRUE(sim::netconfig::set_mode(sim::netconfig::mode::kernel, &why)) << why;
  }
  void TearDown() override {
    sim::netconfig::set_mode(sim::netconfig::mode::record, nullptr);
    ns.leave();
  }
  ruk_test::netns ns;
};

TEST_F(RealEth0, InitBringsEth0UpAndTheAddressesAndRouteAreWhatIpReports) {
  init_eth0();
  set_ethernet_device("192.168.0.5", "255.255.255.0", "192.168.0.1", "eth0");
  ns.leave();

  std::string link = ns.ip("link show dev eth0");
  EXPECT_NE(link.find(",UP"), std::string::npos) << link;
  std::string address = ns.ip("-4 addr show dev eth0");
  EXPECT_NE(address.find("inet 192.168.0.5/24 brd 192.168.0.255 scope global eth0"),
            std::string::npos)
      << address;
  std::string routes = ns.ip("-4 route show default");
  EXPECT_EQ(routes.substr(0, routes.find(" linkdown")), "default via 192.168.0.1 dev eth0")
      << routes;
}

TEST_F(RealEth0, A16BitNetmaskGivesItsBroadcastAndGateway0000NoRoute) {
  init_eth0();
  set_ethernet_device("192.168.0.5", "255.255.0.0", "0.0.0.0", "eth0");
  ns.leave();
  std::string address = ns.ip("-4 addr show dev eth0");
  EXPECT_NE(address.find("inet 192.168.0.5/16 brd 192.168.255.255"), std::string::npos) << address;
  EXPECT_EQ(ns.ip("-4 route show default"), "");
}

TEST(RealEth0Guard, KernelModeIsRefusedOnceBackOutside) {
  ruk_test::netns ns;
  if (!ns.ready()) GTEST_SKIP() << "skipped: " << ns.why();
  ASSERT_TRUE(ns.enter());
  ns.leave();
  std::string why;
  EXPECT_FALSE(sim::netconfig::set_mode(sim::netconfig::mode::kernel, &why));
  EXPECT_FALSE(why.empty());
}

}  // namespace
