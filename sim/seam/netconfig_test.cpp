// The network-configuration model: packet sockets reach the model, requests
// are decoded, and the kernel is reached only from a test's namespace.
#include "sim/seam/netconfig_model.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/if_ether.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "sim/seam/fd_table.h"
#include "sim/seam/fresh_phone.h"
#include "sim/models/netconfig_decode.h"

namespace {

class NetConfig : public testing::Test {
 protected:
  void SetUp() override {
    sim::fresh_phone();
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
  EXPECT_EQ(sim::netconfig::flags("eth0"), 0x1043) << "up, with a carrier: running";
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
  std::string why;
  EXPECT_EQ(sim::netconfig::datagram_fate(0x0A000001, &why), ENETUNREACH)
      << "eth0 stays unconfigured";
}

TEST_F(NetConfig, KernelModeIsRefusedOutsideATestsNamespace) {
  // Test programs run in a namespace of their own, but not one bound under
  // /run/netns/ruk-test-*, and never in the host's.
  std::string why;
  EXPECT_FALSE(sim::netconfig::set_mode(sim::netconfig::mode::kernel, &why));
  EXPECT_NE(why.find("not inside a network namespace made for a test"), std::string::npos) << why;
  EXPECT_EQ(sim::netconfig::current_mode(), sim::netconfig::mode::record);
}

// The kernel's answers to the requests the program makes, in the phone's
// order, and the routing view they leave.
class KernelRules : public NetConfig {
 protected:
  void SetUp() override {
    NetConfig::SetUp();
    fd = socket(AF_PACKET, SOCK_PACKET, htons(ETH_P_ALL));
    ASSERT_GE(fd, 0);
  }
  void TearDown() override { close(fd); }

  int set(unsigned long request, const char* dotted) {
    ifreq r = named("eth0");
    put(&r.ifr_addr, dotted);
    return result(ioctl(fd, request, &r));
  }
  std::string get(unsigned long request) {
    ifreq r = named("eth0");
    if (ioctl(fd, request, &r) != 0) return strerror(errno);
    return sim::address_text(&r.ifr_addr);
  }
  int up(short flags = IFF_UP | IFF_BROADCAST | IFF_NOTRAILERS | IFF_RUNNING) {
    ifreq r = named("eth0");
    ioctl(fd, SIOCGIFFLAGS, &r);
    r.ifr_flags = static_cast<short>(r.ifr_flags | flags);
    return result(ioctl(fd, SIOCSIFFLAGS, &r));
  }
  int down() {
    ifreq r = named("eth0");
    r.ifr_flags = IFF_BROADCAST | IFF_MULTICAST;
    return result(ioctl(fd, SIOCSIFFLAGS, &r));
  }
  // The program's default route.
  int route_via(const char* gateway) {
    rtentry route;
    memset(&route, 0, sizeof route);
    put(&route.rt_dst, "0.0.0.0");
    put(&route.rt_gateway, gateway);
    put(&route.rt_genmask, "0.0.0.0");
    route.rt_flags = RTF_UP | RTF_GATEWAY;
    route.rt_metric = 1;
    char dev[] = "eth0";
    route.rt_dev = dev;
    return result(ioctl(fd, SIOCADDRT, &route));
  }
  static int result(int r) { return r == 0 ? 0 : errno; }
  // The program's whole set-up of eth0.
  void configure(const char* address, const char* netmask, const char* broadcast) {
    set(SIOCSIFADDR, address);
    set(SIOCSIFNETMASK, netmask);
    set(SIOCSIFBRDADDR, broadcast);
  }
  static std::string fate(const char* dotted) {
    in_addr a;
    inet_pton(AF_INET, dotted, &a);
    std::string why;
    int f = sim::netconfig::datagram_fate(ntohl(a.s_addr), &why);
    return f == 0 ? "out" : f == ENETUNREACH ? "unreachable: " + why : "lost: " + why;
  }
  int fd = -1;
};

TEST_F(KernelRules, RoutesNeedTheInterfaceUpAndTheGatewayOnItsSubnetAndComeOnce) {
  configure("192.168.0.5", "255.255.255.0", "192.168.0.255");
  EXPECT_EQ(route_via("192.168.0.1"), ENETUNREACH) << "eth0 is down";
  ASSERT_EQ(up(), 0);
  EXPECT_EQ(route_via("192.168.1.1"), ENETUNREACH) << "off the subnet";
  EXPECT_EQ(route_via("0.0.0.0"), EINVAL);
  EXPECT_EQ(route_via("192.168.0.255"), ENETUNREACH) << "the subnet's broadcast address";
  EXPECT_EQ(route_via("192.168.0.1"), 0);
  EXPECT_EQ(route_via("192.168.0.1"), EEXIST);
  EXPECT_EQ(sim::netconfig::routes(),
            (std::vector<std::string>{"192.168.0.0/24 dev eth0 scope link",
                                      "default via 192.168.0.1 dev eth0"}));
  EXPECT_EQ(lines().back(),
            "SIOCADDRT dst 0.0.0.0 gateway 192.168.0.1 genmask 0.0.0.0 flags 0x3 metric 1 dev "
            "eth0 window 0 failed: File exists");

  EXPECT_EQ(set(SIOCSIFNETMASK, "255.255.0.0"), 0);
  EXPECT_EQ(sim::netconfig::routes(),
            std::vector<std::string>{"192.168.0.0/16 dev eth0 scope link"})
      << "a new netmask takes the routes through eth0 away";
  EXPECT_EQ(route_via("192.168.0.1"), 0);
  ASSERT_EQ(down(), 0);
  EXPECT_TRUE(sim::netconfig::routes().empty()) << "and so does taking it down";
}

TEST_F(KernelRules, AddressesTakeTheirClassMaskAndRefusedMasksLeaveItAsItWas) {
  EXPECT_EQ(set(SIOCSIFNETMASK, "255.255.255.0"), EADDRNOTAVAIL) << "no address yet";
  EXPECT_EQ(set(SIOCSIFADDR, "10.77.0.2"), 0);
  EXPECT_EQ(get(SIOCGIFNETMASK), "255.0.0.0");
  EXPECT_EQ(get(SIOCGIFBRDADDR), "10.255.255.255");
  EXPECT_EQ(set(SIOCSIFNETMASK, "255.0.255.0"), EINVAL) << "not contiguous";
  EXPECT_EQ(get(SIOCGIFNETMASK), "255.0.0.0");
  EXPECT_EQ(set(SIOCSIFNETMASK, "255.255.255.0"), 0);
  EXPECT_EQ(get(SIOCGIFBRDADDR), "10.77.0.255") << "the broadcast address follows the mask";
  EXPECT_EQ(set(SIOCSIFBRDADDR, "10.77.0.127"), 0);
  EXPECT_EQ(set(SIOCSIFNETMASK, "255.255.0.0"), 0);
  EXPECT_EQ(get(SIOCGIFBRDADDR), "10.77.0.127") << "but not one set apart from it";

  EXPECT_EQ(set(SIOCSIFADDR, "0.0.0.0"), 0);
  EXPECT_EQ(get(SIOCGIFADDR), "Cannot assign requested address") << "0.0.0.0 removes it";
  EXPECT_EQ(set(SIOCSIFADDR, "224.0.0.5"), EINVAL) << "multicast";
  EXPECT_EQ(set(SIOCSIFNETMASK, "255.255.255.0"), EADDRNOTAVAIL);
  EXPECT_EQ(set(SIOCSIFBRDADDR, "224.0.0.255"), EADDRNOTAVAIL);
}

TEST_F(KernelRules, RunningComesFromTheCarrierNotFromTheRequest) {
  sim::netconfig::set_eth0_carrier(false);
  ASSERT_EQ(up(0x63), 0);
  EXPECT_EQ(sim::netconfig::flags("eth0"), 0x1023) << "no cable: not running";
  sim::netconfig::set_eth0_carrier(true);
  EXPECT_EQ(sim::netconfig::flags("eth0"), 0x1063);
  ASSERT_EQ(down(), 0);
  EXPECT_EQ(sim::netconfig::flags("eth0"), 0x1002);
}

TEST_F(KernelRules, DatagramsGoWhereTheRoutingViewSendsThem) {
  EXPECT_EQ(fate("127.0.0.1"), "out") << "loopback, whatever eth0 is";
  EXPECT_EQ(fate("10.77.0.1"), "unreachable: no route to 10.77.0.1 from eth0's configuration");
  configure("10.77.0.2", "255.255.255.0", "10.77.0.255");
  EXPECT_EQ(fate("10.77.0.1"), "unreachable: no route to 10.77.0.1 from eth0's configuration")
      << "eth0 is down";
  EXPECT_EQ(fate("10.77.0.2"), "out") << "the phone's own address";
  ASSERT_EQ(up(), 0);
  EXPECT_EQ(fate("10.77.0.1"), "out");
  EXPECT_EQ(fate("10.99.0.1"), "unreachable: no route to 10.99.0.1 from eth0's configuration");
  EXPECT_EQ(route_via("10.88.0.1"), ENETUNREACH);
  EXPECT_EQ(fate("10.99.0.1"), "unreachable: no route to 10.99.0.1 from eth0's configuration");
  ASSERT_EQ(route_via("10.77.0.1"), 0);
  EXPECT_EQ(fate("10.99.0.1"), "out");

  in_addr gateway;
  inet_pton(AF_INET, "10.77.0.1", &gateway);
  sim::netconfig::set_link_hosts({ntohl(gateway.s_addr)});
  EXPECT_EQ(fate("10.99.0.1"), "out") << "through the gateway, which is there";
  EXPECT_EQ(fate("10.77.0.9"), "lost: no host 10.77.0.9 on eth0's link answers");
  sim::netconfig::set_eth0_carrier(false);
  EXPECT_EQ(fate("10.99.0.1"), "lost: eth0 has no carrier");
}

TEST_F(KernelRules, TheProgramsSendtoFailsAsTheKernelsWouldWithoutARoute) {
  int udp = socket(AF_INET, SOCK_DGRAM, 0);
  ASSERT_GE(udp, 0);
  sockaddr_in to;
  memset(&to, 0, sizeof to);
  to.sin_family = AF_INET;
  to.sin_port = htons(69);
  inet_pton(AF_INET, "10.99.0.1", &to.sin_addr);
  errno = 0;
  EXPECT_EQ(sendto(udp, "x", 1, 0, reinterpret_cast<sockaddr*>(&to), sizeof to), -1);
  EXPECT_EQ(errno, ENETUNREACH);
  EXPECT_EQ(lines().back(),
            "sendto 10.99.0.1:69 failed: no route to 10.99.0.1 from eth0's configuration");

  configure("10.99.0.2", "255.255.255.0", "10.99.0.255");
  ASSERT_EQ(up(), 0);
  sim::netconfig::set_link_hosts({});
  EXPECT_EQ(sendto(udp, "x", 1, 0, reinterpret_cast<sockaddr*>(&to), sizeof to), 1)
      << "sent, as far as the program can tell";
  EXPECT_EQ(lines().back(), "sendto 10.99.0.1:69 lost: no host 10.99.0.1 on eth0's link answers");
  close(udp);
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
