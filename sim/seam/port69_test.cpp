// Datagrams for port 69 reach the test's server port when redirected; all
// other traffic is left alone.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include "sim/seam/port69.h"
#include "tests/socket_address.h"

namespace {

using ruk_test::loopback;

struct bound_socket {
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  int port = 0;
  bound_socket() {
    sockaddr_in a = loopback(0);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t n = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
    port = ntohs(a.sin_port);
  }
  ~bound_socket() { close(fd); }
  // Loopback delivers before sendto returns, so nothing waiting means nothing came.
  std::string take() {
    char buffer[64];
    ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    return n < 0 ? "<nothing>" : std::string(buffer, static_cast<size_t>(n));
  }
};

void send_to(int fd, int port, const char* text) {
  sockaddr_in a = loopback(port);
  ASSERT_EQ(sendto(fd, text, strlen(text), 0, reinterpret_cast<sockaddr*>(&a), sizeof a),
            static_cast<ssize_t>(strlen(text)));
}

TEST(Port69, RedirectedRequestsReachTheServerPortAndOtherDatagramsKeepTheirs) {
  bound_socket server, other, client;
  sim::redirect_port69(server.port);
  EXPECT_EQ(sim::port69_target(), server.port);
  send_to(client.fd, 69, "request");
  EXPECT_EQ(server.take(), "request");
  send_to(client.fd, other.port, "ack");
  EXPECT_EQ(other.take(), "ack");
  EXPECT_EQ(server.take(), "<nothing>");

  sim::redirect_port69(0);
  EXPECT_EQ(sim::port69_target(), 69);
  sendto(client.fd, "x", 1, 0, nullptr, 0);  // no address: passed on as it is, and refused
  send_to(client.fd, 69, "lost");
  EXPECT_EQ(server.take(), "<nothing>");
}

}  // namespace
