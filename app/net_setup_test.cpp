// eth0's set-up against the simulator's network-configuration model.
#include "app/net_setup.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/seam/fresh_phone.h"
#include "sim/seam/netconfig_model.h"

namespace {

using lines = std::vector<std::string>;

class NetSetup : public testing::Test {
 protected:
  void SetUp() override {
    sim::fresh_phone();
  }
  static const lines& requests() { return sim::netconfig::requests(); }
  static std::string route_via(const char* gateway) {
    return std::string("SIOCADDRT dst 0.0.0.0 gateway ") + gateway +
           " genmask 0.0.0.0 flags 0x3 metric 1 dev eth0 window 0";
  }
};

std::string dotted(unsigned address) {
  char text[INET_ADDRSTRLEN];
  in_addr a;
  a.s_addr = address;
  return inet_ntop(AF_INET, &a, text, sizeof text);
}

TEST_F(NetSetup, InitEth0AddsUpBroadcastNoTrailersAndRunning) {
  init_eth0();
  EXPECT_EQ(requests(), (lines{
                            "socket AF_PACKET SOCK_PACKET ETH_P_ALL",
                            "SIOCGIFHWADDR eth0 = 02:00:5e:10:00:01",
                            "setsockopt SO_BROADCAST 1",
                            "SIOCGIFFLAGS eth0 = 0x1002",
                            "SIOCSIFFLAGS eth0 0x1063",
                            "close",
                        }));
  EXPECT_EQ(sim::netconfig::flags("eth0"), 0x1063);
}

TEST_F(NetSetup, WithoutEth0InitStopsAfterTheHardwareAddress) {
  sim::netconfig::set_eth0_present(false);
  init_eth0();
  EXPECT_EQ(requests(), (lines{
                            "socket AF_PACKET SOCK_PACKET ETH_P_ALL",
                            "SIOCGIFHWADDR eth0 failed: No such device",
                            "close",
                        }));
}

TEST_F(NetSetup, WithoutTheRequestSocketNothingHappens) {
  sim::netconfig::set_mode(sim::netconfig::mode::refuse, nullptr);
  init_eth0();
  set_ethernet_device("192.168.0.5", "255.255.255.0", "192.168.0.1", "eth0");
  EXPECT_EQ(requests().size(), 2u) << "two refused sockets and no request";
}

TEST_F(NetSetup, AddressNetmaskBroadcastAndRouteInThisOrder) {
  init_eth0();  // as at start-up: a route needs the interface up
  sim::netconfig::clear_requests();
  set_ethernet_device("192.168.0.5", "255.255.255.0", "192.168.0.1", "eth0");
  EXPECT_EQ(requests(), (lines{
                            "socket AF_PACKET SOCK_PACKET ETH_P_ALL",
                            "SIOCSIFADDR eth0 192.168.0.5",
                            "SIOCSIFNETMASK eth0 255.255.255.0",
                            "SIOCSIFBRDADDR eth0 192.168.0.255",
                            route_via("192.168.0.1"),
                            "close",
                        }));
}

TEST_F(NetSetup, TheBroadcastAddressFollowsTheNetmask) {
  set_ethernet_device("192.168.0.5", "255.255.0.0", "0.0.0.0", "eth0");
  set_ethernet_device("10.1.2.3", "255.0.0.0", "0.0.0.0", "eth0");
  set_ethernet_device("172.16.9.77", "255.255.255.240", "0.0.0.0", "eth0");
  lines broadcasts;
  for (const std::string& line : requests()) {
    if (line.compare(0, 14, "SIOCSIFBRDADDR") == 0) broadcasts.push_back(line.substr(20));
  }
  EXPECT_EQ(broadcasts, (lines{"192.168.255.255", "10.255.255.255", "172.16.9.79"}));
}

TEST_F(NetSetup, OnlyTheExactText0000MeansNoRoute) {
  set_ethernet_device("192.168.0.5", "255.255.255.0", "0.0.0.0", "eth0");
  EXPECT_EQ(requests().size(), 5u) << "no SIOCADDRT";
  EXPECT_EQ(requests()[3], "SIOCSIFBRDADDR eth0 192.168.0.255");
  sim::netconfig::clear_requests();
  set_ethernet_device("192.168.0.5", "255.255.255.0", "0.00.0.0", "eth0");
  EXPECT_EQ(requests()[4], route_via("0.0.0.0") + " failed: Invalid argument")
      << "requested, and refused as the kernel refuses a gateway 0.0.0.0";
}

TEST_F(NetSetup, AFailingRequestDoesNotStopTheOthers) {
  sim::netconfig::set_eth0_present(false);
  set_ethernet_device("192.168.0.5", "255.255.255.0", "192.168.0.1", "eth0");
  ASSERT_EQ(requests().size(), 6u);
  EXPECT_EQ(requests()[1], "SIOCSIFADDR eth0 192.168.0.5 failed: No such device");
  EXPECT_EQ(requests()[3], "SIOCSIFBRDADDR eth0 192.168.0.255 failed: No such device");
  EXPECT_EQ(requests()[4], route_via("192.168.0.1") + " failed: No such device");
}

TEST_F(NetSetup, ALongDeviceNameIsCutTo15Characters) {
  set_ethernet_device("10.0.0.2", "255.0.0.0", "10.0.0.1", "abcdefghijklmnopqrstuvwxyz");
  EXPECT_EQ(requests()[1], "SIOCSIFADDR abcdefghijklmno 10.0.0.2 failed: No such device");
  EXPECT_NE(requests()[4].find(" dev abcdefghijklmno window"), std::string::npos) << requests()[4];
}

TEST(SetInetadr, OctetsInNetworkOrderWithTheLow8BitsOfEach) {
  unsigned out = 0;
  set_inetadr(out, "192.168.0.5");
  EXPECT_EQ(out, htonl(0xC0A80005));
  set_inetadr(out, "10.1");
  EXPECT_EQ(dotted(out), "10.1.0.0");
  set_inetadr(out, "300");
  EXPECT_EQ(dotted(out), "44.0.0.0");
  set_inetadr(out, "1685.x.256.-1");
  EXPECT_EQ(dotted(out), "149.0.0.255");
  set_inetadr(out, "");
  EXPECT_EQ(out, 0u);
}

}  // namespace
