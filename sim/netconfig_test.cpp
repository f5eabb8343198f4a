// The network-configuration model: packet sockets reach the model, requests
// are decoded, and the kernel is reached only from a test's namespace.
#include "sim/netconfig_model.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/if_ether.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "sim/fd_table.h"
#include "sim/netconfig_decode.h"

namespace {

class NetConfig : public testing::Test {
 protected:
  void SetUp() override {
    sim::run_setup_once();
    sim::netconfig::set_mode(sim::netconfig::mode::record, nullptr);
    sim::netconfig::set_eth0_present(true);
    sim::netconfig::clear_requests();
  }
  static ifreq named(const char* name) {
    ifreq r;
    memset(&r, 0, sizeof r);
    strncpy(r.ifr_name, name, IFNAMSIZ - 1);
    return r;
  }
  static void put(sockaddr* field, const char* dotted) {
    sockaddr_in in;
    memset(&in, 0, sizeof in);
    in.sin_family = AF_INET;
    inet_pton(AF_INET, dotted, &in.sin_addr);
    memcpy(field, &in, sizeof in);
  }
  static const std::vector<std::string>& lines() { return sim::netconfig::requests(); }
};

TEST_F(NetConfig, APacketSocketReachesTheModelAndEveryCallIsDecoded) {
  int fd = socket(AF_PACKET, SOCK_PACKET, htons(ETH_P_ALL));
  ASSERT_GE(fd, 0);
  ifreq r = named("eth0");
  ASSERT_EQ(ioctl(fd, SIOCGIFFLAGS, &r), 0);
  r.ifr_flags = static_cast<short>(r.ifr_flags | IFF_UP);
  ASSERT_EQ(ioctl(fd, SIOCSIFFLAGS, &r), 0);
  int on = 1;
  EXPECT_EQ(setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on), 0);
  put(&r.ifr_addr, "10.0.0.7");
  EXPECT_EQ(ioctl(fd, SIOCSIFADDR, &r), 0);
  ASSERT_EQ(ioctl(fd, SIOCGIFHWADDR, &r), 0);
  EXPECT_EQ(r.ifr_hwaddr.sa_family, ARPHRD_ETHER);

  rtentry route;
  memset(&route, 0, sizeof route);
  put(&route.rt_dst, "0.0.0.0");
  put(&route.rt_gateway, "10.0.0.1");
  put(&route.rt_genmask, "0.0.0.0");
  route.rt_flags = RTF_UP | RTF_GATEWAY;
  route.rt_metric = 1;
  char dev[] = "eth0";
  route.rt_dev = dev;
  EXPECT_EQ(ioctl(fd, SIOCADDRT, &route), 0);
  EXPECT_EQ(close(fd), 0);

  EXPECT_EQ(lines(),
            (std::vector<std::string>{
                "socket AF_PACKET SOCK_PACKET ETH_P_ALL",
                "SIOCGIFFLAGS eth0 = 0x1002",
                "SIOCSIFFLAGS eth0 0x1003",
                "setsockopt SO_BROADCAST 1",
                "SIOCSIFADDR eth0 10.0.0.7",
                "SIOCGIFHWADDR eth0 = 02:00:5e:10:00:01",
                "SIOCADDRT dst 0.0.0.0 gateway 10.0.0.1 genmask 0.0.0.0 flags 0x3 metric 1 "
                "dev eth0 window 0",
                "close",
            }));
  EXPECT_EQ(sim::netconfig::flags("eth0"), 0x1003);
}

TEST_F(NetConfig, RequestsOnAMissingInterfaceFailAndSaySo) {
  sim::netconfig::set_eth0_present(false);
  int fd = socket(AF_PACKET, SOCK_PACKET, htons(ETH_P_ALL));
  ifreq r = named("eth0");
  EXPECT_EQ(ioctl(fd, SIOCGIFHWADDR, &r), -1);
  EXPECT_EQ(errno, ENODEV);
  r = named("lo");
  put(&r.ifr_addr, "127.0.0.1");
  r.ifr_addr.sa_family = AF_INET6;
  EXPECT_EQ(ioctl(fd, SIOCSIFADDR, &r), -1) << "only IPv4 addresses";
  EXPECT_EQ(ioctl(fd, 0x89F0, &r), -1);
  EXPECT_EQ(errno, ENOTTY);
  close(fd);
  EXPECT_EQ(lines()[1], "SIOCGIFHWADDR eth0 failed: No such device");
  EXPECT_EQ(lines()[2], "SIOCSIFADDR lo family 10 failed: Invalid argument");
  EXPECT_EQ(lines()[3], "ioctl 0x89F0 failed: Inappropriate ioctl for device");
  EXPECT_EQ(sim::netconfig::flags("eth0"), -1);
}

TEST_F(NetConfig, RefuseModeFailsThePacketSocketButNotOthers) {
  sim::netconfig::set_mode(sim::netconfig::mode::refuse, nullptr);
  errno = 0;
  EXPECT_EQ(socket(AF_PACKET, SOCK_PACKET, htons(ETH_P_ALL)), -1);
  EXPECT_EQ(errno, EPERM);
  EXPECT_EQ(lines().back(),
            "socket AF_PACKET SOCK_PACKET ETH_P_ALL failed: Operation not permitted");
  int udp = socket(AF_INET, SOCK_DGRAM, 0);
  EXPECT_GE(udp, 0);
  EXPECT_EQ(sim::lookup(udp), nullptr) << "an ordinary socket is the kernel's";
  close(udp);
  EXPECT_EQ(lines().size(), 1u);
}

TEST_F(NetConfig, KernelModeIsRefusedOutsideATestsNamespace) {
  // Test programs run in a namespace of their own, but not one bound under
  // /run/netns/ruk-test-*, and never in the host's.
  std::string why;
  EXPECT_FALSE(sim::netconfig::set_mode(sim::netconfig::mode::kernel, &why));
  EXPECT_NE(why.find("not inside a network namespace made for a test"), std::string::npos) << why;
  EXPECT_EQ(sim::netconfig::current_mode(), sim::netconfig::mode::record);
}

TEST(NetConfigDecode, AddressesOfOtherFamiliesAndUnknownRequests) {
  sockaddr_in in;
  memset(&in, 0, sizeof in);
  in.sin_family = AF_INET;
  in.sin_addr.s_addr = htonl(0xC0A80005);
  EXPECT_EQ(sim::address_text(&in), "192.168.0.5");
  in.sin_family = AF_UNIX;
  EXPECT_EQ(sim::address_text(&in), "family 1");
  EXPECT_EQ(sim::request_name(0x1234), "ioctl 0x1234");
}

}  // namespace
