#include "lib/udp.h"
#include "tests/socket_address.h"
#include "tests/str_text.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using ruk_test::loopback;
using ruk_test::port_of;

// Every datagram of these tests goes to 127.0.0.1; other addresses are only
// converted and stored, never sent to.

// A plain datagram socket on 127.0.0.1 standing for the other end.
struct peer {
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  int port = 0;
  peer() {
    sockaddr_in a = loopback(0);
    EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    port = port_of(fd);
  }
  ~peer() { close(fd); }
  void send_to(int to_port, const std::string& bytes) const {
    sockaddr_in a = loopback(to_port);
    ASSERT_EQ(sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a),
              static_cast<ssize_t>(bytes.size()));
  }
};

// Waits (with a generous bound, so a fault fails instead of hanging) until fd
// has something to read or an error to report.
bool readable(int fd) {
  pollfd p = {fd, POLLIN, 0};
  return poll(&p, 1, 5000) == 1;
}

std::string receive_raw(int fd) {
  if (!readable(fd)) return "<nothing>";
  std::vector<char> buffer(65536);
  ssize_t n = recv(fd, buffer.data(), buffer.size(), 0);
  return n < 0 ? "<error>" : std::string(buffer.data(), static_cast<size_t>(n));
}

bool is_open(int fd) {
  return fcntl(fd, F_GETFD) != -1;
}

// True when nothing holds the UDP port any more: a fresh socket may bind it.
bool port_free(int port) {
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a = loopback(port);
  a.sin_addr.s_addr = htonl(INADDR_ANY);
  bool ok = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  close(fd);
  return ok;
}

TEST(Udp, PortsOutsideSixteenBitsAreRefusedWithoutTouchingTheSocket) {
  udp u;
  EXPECT_FALSE(u.set_port(70000));
  EXPECT_EQ(u.socket(), -1);
  ASSERT_TRUE(u.set_port(0));
  int fd = u.socket();
  int port = u.local_port();
  EXPECT_FALSE(u.set_port(70000));
  EXPECT_FALSE(u.set_port(-1));
  EXPECT_EQ(u.socket(), fd);
  EXPECT_TRUE(is_open(fd));
  EXPECT_EQ(u.local_port(), port);
}

TEST(Udp, RebindingClosesTheFirstSocketAndAFailedBindLeavesNone) {
  udp u, holder;
  ASSERT_TRUE(u.set_port(0));
  int first = u.local_port();
  // No address reuse is set, so the same port binds again only because the
  // first socket was closed before.
  ASSERT_TRUE(u.set_port(first));
  ASSERT_TRUE(holder.set_port(0));
  EXPECT_FALSE(u.set_port(holder.local_port()));
  EXPECT_EQ(u.socket(), -1);
  EXPECT_EQ(u.local_port(), 0);
  EXPECT_TRUE(port_free(first));
}

TEST(Udp, DestinationFromDottedQuadOrEmptyHost) {
  udp u;
  EXPECT_TRUE(u.set_destination(69, "10.0.0.5"));  // stored only, never sent to
  int port = 0;
  str host;
  EXPECT_TRUE(u.get_destination(port, host));
  EXPECT_EQ(port, 69);
  EXPECT_EQ(text(host), "10.0.0.5");
  EXPECT_EQ(u.ref->destination.sin_addr.s_addr, inet_addr("10.0.0.5"));
  EXPECT_EQ(u.ref->destination.sin_port, htons(69));

  EXPECT_TRUE(u.set_destination(4900, ""));
  EXPECT_EQ(u.ref->destination.sin_addr.s_addr, htonl(INADDR_ANY));
  EXPECT_EQ(u.ref->destination.sin_port, htons(4900));
}

TEST(Udp, ConversionResolvesNamesAndRefusesWhatIsNoAddress) {
  sockaddr_in a;
  // localhost is in the hosts file; no name server is asked.
  EXPECT_TRUE(udp::conv(7, "localhost", a));
  EXPECT_EQ(a.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
  EXPECT_EQ(a.sin_port, htons(7));
  // inet_addr's failure value is also an address; the resolver takes it.
  EXPECT_TRUE(udp::conv(7, "255.255.255.255", a));
  EXPECT_EQ(a.sin_addr.s_addr, htonl(INADDR_NONE));

  const struct {
    int port;
    str host;
  } refused[] = {
      {7, "1.2.3.4.5"}, {70000, "127.0.0.1"}, {-1, "127.0.0.1"}, {7, str("127.0.0.1\0junk", 14)}};
  for (const auto& r : refused) {
    EXPECT_FALSE(udp::conv(r.port, r.host, a)) << text(r.host) << " " << r.port;
    EXPECT_EQ(a.sin_port, 0);
  }
  EXPECT_EQ(text(udp::host_address("localhost")), "127.0.0.1");
  EXPECT_EQ(udp::host_address("1.2.3.4.5").length(), 0);
}

TEST(Udp, SendingNeedsAConvertedDestination) {
  peer other;
  udp u;
  ASSERT_TRUE(u.set_port(0));
  EXPECT_FALSE(u.send_pdu("early"));
  ASSERT_TRUE(u.set_destination(other.port, "127.0.0.1"));
  EXPECT_TRUE(u.send_pdu("hello"));
  EXPECT_EQ(receive_raw(other.fd), "hello");
  EXPECT_FALSE(u.send_pdu("abc", -1));

  EXPECT_FALSE(u.set_destination(other.port, "1.2.3.4.5"));
  int port = 0;
  str host;
  u.get_destination(port, host);
  EXPECT_EQ(text(host), "1.2.3.4.5");
  EXPECT_FALSE(u.send_pdu("lost"));
  ASSERT_TRUE(u.set_destination(other.port, "127.0.0.1"));
  EXPECT_TRUE(u.send_pdu("found"));
  EXPECT_EQ(receive_raw(other.fd), "found");
}

TEST(Udp, EmptyDatagramTravelsAndNamesItsSender) {
  udp sender, receiver;
  ASSERT_TRUE(sender.set_port(0));
  ASSERT_TRUE(receiver.set_port(0));
  ASSERT_TRUE(sender.set_destination(receiver.local_port(), "127.0.0.1"));
  EXPECT_TRUE(sender.send_pdu(str()));
  ASSERT_TRUE(readable(receiver.socket()));
  sockaddr_in from;
  memset(&from, 0xAB, sizeof from);
  EXPECT_EQ(receiver.get_pdu(from).length(), 0);
  EXPECT_EQ(from.sin_family, AF_INET);
  EXPECT_EQ(ntohs(from.sin_port), sender.local_port());
  EXPECT_EQ(from.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
}

TEST(Udp, NothingWaitingGivesEmptyAtOnceAndKeepsSocketAndSender) {
  udp u;
  ASSERT_TRUE(u.set_port(0));
  int fd = u.socket();
  sockaddr_in from, untouched;
  memset(&from, 0xAB, sizeof from);
  untouched = from;
  EXPECT_EQ(u.get_pdu(from).length(), 0);
  EXPECT_EQ(memcmp(&from, &untouched, sizeof from), 0);
  EXPECT_EQ(u.socket(), fd);
  EXPECT_EQ(fcntl(fd, F_GETFL) & O_NONBLOCK, 0);  // only the receive does not wait
}

TEST(Udp, LongDatagramIsCutToTheBuffer) {
  peer other;
  udp u;
  ASSERT_TRUE(u.set_port(0));
  std::string big(40000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 % 251);
  other.send_to(u.local_port(), big);
  ASSERT_TRUE(readable(u.socket()));
  sockaddr_in from;
  str got = u.get_pdu(from);
  EXPECT_EQ(text(got), big.substr(0, 32768));
  // The copy handed out survives the next receive into the shared buffer.
  other.send_to(u.local_port(), "again");
  ASSERT_TRUE(readable(u.socket()));
  EXPECT_EQ(text(u.get_pdu(from)), "again");
  EXPECT_EQ(text(got), big.substr(0, 32768));
}

TEST(Udp, RefusedSendKeepsTheSocket) {
  int closed_port;
  {
    peer gone;
    closed_port = gone.port;
  }
  udp u;
  ASSERT_TRUE(u.set_port(0));
  ASSERT_TRUE(u.set_destination(closed_port, "127.0.0.1"));
  // The kernel reports a port-unreachable answer only on a connected
  // datagram socket; connecting it to the destination changes nothing else.
  sockaddr_in to = loopback(closed_port);
  ASSERT_EQ(connect(u.socket(), reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
  int fd = u.socket();
  ASSERT_TRUE(u.send_pdu("anyone?"));
  ASSERT_TRUE(readable(fd));
  sockaddr_in from, untouched;
  memset(&from, 0xAB, sizeof from);
  untouched = from;
  EXPECT_EQ(u.get_pdu(from).length(), 0);
  EXPECT_EQ(memcmp(&from, &untouched, sizeof from), 0);
  EXPECT_EQ(u.socket(), fd);
  // The refusal was taken by get_pdu, not left pending.
  int error = -1;
  socklen_t n = sizeof error;
  ASSERT_EQ(getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &n), 0);
  EXPECT_EQ(error, 0);
}

TEST(Udp, OtherReceiveErrorClosesTheSocket) {
  udp u;
  ASSERT_TRUE(u.set_port(0));
  int fd = u.socket();
  // A file that is no socket behind the descriptor: recvfrom fails ENOTSOCK.
  int null_fd = open("/dev/null", O_RDONLY);
  ASSERT_EQ(dup2(null_fd, fd), fd);
  close(null_fd);
  sockaddr_in from;
  EXPECT_EQ(u.get_pdu(from).length(), 0);
  EXPECT_EQ(u.socket(), -1);
  EXPECT_FALSE(is_open(fd));
}

TEST(Udp, CopiesShareOneSocketAndTheLastClosesIt) {
  auto a = std::make_unique<udp>();
  ASSERT_TRUE(a->set_port(0));
  int port = a->local_port();
  auto b = std::make_unique<udp>(*a);
  ASSERT_TRUE(b->set_destination(69, "127.0.0.1"));
  int seen = 0;
  str host;
  a->get_destination(seen, host);
  EXPECT_EQ(seen, 69);
  a.reset();
  EXPECT_EQ(b->ref->refs, 1);
  EXPECT_FALSE(port_free(port));

  // Assignment drops the last share of the target's old record.
  udp c;
  ASSERT_TRUE(c.set_port(0));
  int c_port = c.local_port();
  c = *b;
  EXPECT_EQ(b->ref->refs, 2);
  EXPECT_TRUE(port_free(c_port));
  b.reset();
  EXPECT_FALSE(port_free(port));
  c.close();
  EXPECT_TRUE(port_free(port));
}

TEST(UdpMulticast, GroupThatCannotBeJoinedFailsButLeavesTheSocketBound) {
  udp u;
  EXPECT_FALSE(u.set_port(0, "127.0.0.1", 5000));
  EXPECT_GE(u.socket(), 0);
  EXPECT_NE(u.local_port(), 0);
  EXPECT_FALSE(u.set_port(0, "no-group", 5000));
  EXPECT_GE(u.socket(), 0);
}

// True when this process has a network namespace of its own in which lo is
// the only interface, as scripts/safe-run gives it. Only there may the test
// route multicast to lo: anywhere else a join would announce itself on a
// real network.
bool own_loopback_namespace() {
  struct if_nameindex* names = if_nameindex();
  if (names == nullptr) return false;
  bool only_lo = true;
  int count = 0;
  for (struct if_nameindex* i = names; i->if_index != 0; ++i, ++count) {
    if (strcmp(i->if_name, "lo") != 0) only_lo = false;
  }
  if_freenameindex(names);
  return only_lo && count == 1;
}

TEST(UdpMulticast, JoinsAGroupOnLoopback) {
  if (!own_loopback_namespace()) {
    GTEST_SKIP() << "needs a network namespace with only lo (run through scripts/safe-run as root)";
  }
  // A join on the default interface needs a route for the group; in a fresh
  // namespace only lo exists and has none.
  if (system("ip link set lo up multicast on && ip route replace 224.0.0.0/4 dev lo") != 0) {
    GTEST_SKIP() << "cannot route multicast to lo in this namespace";
  }
  // qemu-user (the MIPS suite) does not pass the choice of the multicast
  // interface on to the kernel; a kernel always takes it.
  int probe = socket(AF_INET, SOCK_DGRAM, 0);
  ASSERT_GE(probe, 0);
  in_addr any_interface;
  any_interface.s_addr = htonl(INADDR_ANY);
  const bool takes_interface =
      setsockopt(probe, IPPROTO_IP, IP_MULTICAST_IF, &any_interface, sizeof any_interface) == 0;
  const int probe_error = errno;
  close(probe);
  if (!takes_interface && probe_error == ENOPROTOOPT) {
    GTEST_SKIP()
        << "setsockopt IP_MULTICAST_IF is not implemented here (qemu-user answers ENOPROTOOPT)";
  }
  udp u;
  ASSERT_TRUE(u.set_port(0, "239.1.2.3", -1)) << "the group's port plays no part in the join";
  ASSERT_GE(u.socket(), 0);
  EXPECT_NE(u.local_port(), 0);
  // Only a member can leave a group.
  ip_mreq membership;
  membership.imr_multiaddr.s_addr = inet_addr("239.1.2.3");
  membership.imr_interface.s_addr = htonl(INADDR_ANY);
  EXPECT_EQ(setsockopt(u.socket(), IPPROTO_IP, IP_DROP_MEMBERSHIP, &membership, sizeof membership),
            0);
}

}  // namespace
