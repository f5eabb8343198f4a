#include "lib/tcp_connection.h"
#include "tests/socket_address.h"
#include "tests/str_text.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>

namespace {

using ruk_test::loopback;
using ruk_test::port_of;

// Every connection of these tests is made to 127.0.0.1.

// Waits, with a bound generous enough that only a fault reaches it.
bool ready(int fd, short events, int limit_ms = 10000) {
  pollfd p = {fd, events, 0};
  return poll(&p, 1, limit_ms) == 1;
}

bool is_open(int fd) {
  return fcntl(fd, F_GETFD) != -1;
}

// A loopback port on which nobody listens.
int closed_port() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = loopback(0);
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  int port = port_of(fd);
  close(fd);
  return port;
}

// A listener on an ephemeral port, a connection to it, and its accepted end.
struct link {
  tcp::listener server;
  int port = 0;
  tcp::connection client;
  tcp::connection accepted;
  void open() {
    ASSERT_TRUE(server.listen(0));
    port = port_of(server.fd());
    client.connect("127.0.0.1", port);
    ASSERT_GE(client.socket(), 0);
    ASSERT_TRUE(ready(client.socket(), POLLOUT));
    ASSERT_FALSE(client.connect_failed());
    ASSERT_TRUE(ready(server.fd(), POLLIN));
    accepted = tcp::connection(server);
    ASSERT_GE(accepted.socket(), 0);
  }
};

// Everything that arrives on c within the bound, until want bytes are in.
std::string receive_all(tcp::connection& c, size_t want) {
  std::string got;
  while (got.size() < want && ready(c.socket(), POLLIN)) {
    str part = c.receive();
    if (part.length() == 0) break;
    got += text(part);
  }
  return got;
}

TEST(TcpListener, RefusesBadPortsAndReleasesAnEarlierSocket) {
  tcp::listener l, other;
  EXPECT_FALSE(l.listen(70000));
  EXPECT_FALSE(l.listen(-1));
  EXPECT_EQ(l.fd(), -1);
  ASSERT_TRUE(l.listen(0));
  int first = port_of(l.fd());
  EXPECT_FALSE(other.listen(first));
  EXPECT_EQ(other.fd(), -1);
  ASSERT_TRUE(l.listen(0));
  EXPECT_TRUE(other.listen(first));
}

TEST(TcpConnection, OpenedAndAcceptedEndsCarryBytesBothWays) {
  link k;
  k.open();
  EXPECT_EQ(text(k.client.ref->peer), "127.0.0.1:" + std::to_string(k.port));
  EXPECT_EQ(k.client.ref->listener, nullptr);
  EXPECT_EQ(k.accepted.ref->listener, k.server.ref);
  EXPECT_TRUE(k.client.send("hello"));
  EXPECT_EQ(receive_all(k.accepted, 5), "hello");
  EXPECT_TRUE(k.accepted.send("back"));
  EXPECT_EQ(receive_all(k.client, 4), "back");
  EXPECT_EQ(k.client.ref->outgoing.length(), 0);
  EXPECT_EQ(k.accepted.local_port(), k.port);
}

TEST(TcpConnection, AcceptedConnectionNamesItsPeerAndNeverWaits) {
  tcp::listener server;
  ASSERT_TRUE(server.listen(0));
  tcp::connection nothing_pending(server);
  EXPECT_EQ(nothing_pending.socket(), -1);
  EXPECT_EQ(server.ref->refs, 2);

  int raw = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in to = loopback(port_of(server.fd()));
  ASSERT_EQ(connect(raw, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
  ASSERT_TRUE(ready(server.fd(), POLLIN));
  tcp::connection c(server);
  ASSERT_GE(c.socket(), 0);
  EXPECT_EQ(text(c.ref->peer), "127.0.0.1:" + std::to_string(port_of(raw)));
  EXPECT_EQ(c.receive().length(), 0);  // nothing sent yet: returns at once
  close(raw);
}

TEST(TcpConnection, PartialSendKeepsTheRestAndTheNextSendStartsWithIt) {
  link k;
  k.open();
  // A small send buffer and a reader that is not reading: the socket cannot
  // take a megabyte at once.
  int small = 4096;
  ASSERT_EQ(setsockopt(k.client.socket(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small), 0);
  std::string data(1 << 20, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 % 251);

  EXPECT_TRUE(k.client.send(bytes(data)));
  size_t left = static_cast<size_t>(k.client.ref->outgoing.length());
  ASSERT_GT(left, 0u);
  ASSERT_LT(left, data.size());
  EXPECT_EQ(text(k.client.ref->outgoing), data.substr(data.size() - left));

  // While the socket is full, a send only queues and still reports success.
  EXPECT_TRUE(k.client.send("TAIL"));
  std::string expected = data + "TAIL";
  std::string got;
  // Read whatever arrives, and push the queue on whenever the socket has room.
  while (got.size() < expected.size()) {
    pollfd watch[2] = {{k.accepted.socket(), POLLIN, 0}, {k.client.socket(), 0, 0}};
    if (k.client.ref->outgoing.length() > 0) watch[1].events = POLLOUT;
    if (poll(watch, 2, 10000) <= 0) break;
    if (watch[0].revents != 0) got += text(k.accepted.receive());
    if (watch[1].revents != 0) {
      EXPECT_TRUE(k.client.send(str()));
    }
  }
  EXPECT_EQ(k.client.ref->outgoing.length(), 0);
  ASSERT_EQ(got.size(), expected.size());
  EXPECT_TRUE(got == expected);
}

TEST(TcpConnection, FailedOpenDropsDataAndClosedHandleRefusesEverything) {
  tcp::connection c("no.such.host", 80);
  c.queue("abc");
  EXPECT_EQ(text(c.ref->outgoing), "abc");
  EXPECT_FALSE(c.send("def"));
  EXPECT_EQ(c.ref->outgoing.length(), 0);
  EXPECT_EQ(c.receive().length(), 0);
  EXPECT_EQ(c.local_port(), 0);

  tcp::connection closed;
  closed.queue("x");
  EXPECT_EQ(closed.ref, nullptr);
  EXPECT_FALSE(closed.send("x"));
  EXPECT_EQ(closed.receive().length(), 0);
  EXPECT_FALSE(closed.connect_failed());
}

TEST(TcpConnection, HostTextThatIsNoDottedQuadOpensNoSocket) {
  tcp::listener server;
  ASSERT_TRUE(server.listen(0));
  int port = port_of(server.fd());
  // localhost would resolve to the listener; the text is not resolved.
  tcp::connection c("localhost", port);
  EXPECT_EQ(c.socket(), -1);
  EXPECT_EQ(c.ref->connecting, 0);
  EXPECT_EQ(c.ref->peer.length(), 0);
  tcp::connection d("127.0.0.1", port + 65536);
  EXPECT_EQ(d.socket(), -1);
  // No connection attempt reached the listener.
  EXPECT_FALSE(ready(server.fd(), POLLIN, 200));
}

TEST(TcpConnection, RefusedConnectIsReportedOnce) {
  tcp::connection c("127.0.0.1", closed_port());
  ASSERT_GE(c.socket(), 0);
  ASSERT_EQ(c.ref->connecting, 1);
  ASSERT_TRUE(ready(c.socket(), POLLOUT));
  EXPECT_TRUE(c.connect_failed());
  EXPECT_FALSE(c.connect_failed());
  EXPECT_FALSE(c.send("x"));
}

TEST(TcpConnection, AskingBeforeTheConnectEndsDoesNotUseUpTheAnswer) {
  // With a backlog of 1, two unaccepted connections fill the listener's
  // queue; the third one's handshake waits for a retransmission.
  auto server = std::make_unique<tcp::listener>();
  ASSERT_TRUE(server->listen(0));
  int port = port_of(server->fd());
  tcp::connection first("127.0.0.1", port), second("127.0.0.1", port);
  ASSERT_TRUE(ready(first.socket(), POLLOUT));
  ASSERT_TRUE(ready(second.socket(), POLLOUT));
  tcp::connection third("127.0.0.1", port);
  ASSERT_EQ(third.ref->connecting, 1);
  EXPECT_FALSE(ready(third.socket(), POLLOUT, 0));
  EXPECT_FALSE(third.connect_failed());
  EXPECT_EQ(third.ref->connecting, 1);

  // Without a listener the retransmitted handshake is refused.
  server.reset();
  ASSERT_TRUE(ready(third.socket(), POLLOUT));
  EXPECT_TRUE(third.connect_failed());
  EXPECT_FALSE(third.connect_failed());
}

TEST(TcpConnection, CopiesShareOneRecordAndTheLastShareClosesTheSocket) {
  link k;
  k.open();
  int peer_fd = k.accepted.socket();
  tcp::connection copy(k.client);
  tcp::connection assigned("127.0.0.1", k.port);  // its own record goes
  assigned = copy;
  EXPECT_EQ(k.client.ref->refs, 3);
  assigned.queue("q");
  EXPECT_EQ(text(k.client.ref->outgoing), "q");

  k.client.close();
  EXPECT_EQ(k.client.ref, nullptr);
  assigned.close();
  EXPECT_EQ(copy.ref->refs, 1);
  EXPECT_TRUE(copy.send("!"));
  EXPECT_EQ(receive_all(k.accepted, 2), "q!");

  copy.close();
  // The other end sees the end of the stream.
  ASSERT_TRUE(ready(peer_fd, POLLIN));
  char byte;
  EXPECT_EQ(recv(peer_fd, &byte, 1, 0), 0);
}

TEST(TcpConnection, ListenerOutlivesItsLastHandleWhileAnAcceptedConnectionLives) {
  auto server = std::make_unique<tcp::listener>();
  ASSERT_TRUE(server->listen(0));
  int port = port_of(server->fd());
  int listening_fd = server->fd();
  tcp::connection client("127.0.0.1", port);
  ASSERT_TRUE(ready(server->fd(), POLLIN));
  auto accepted = std::make_unique<tcp::connection>(*server);
  tcp::connection accepted_copy(*accepted);
  tcp::listener::record* record = server->ref;
  EXPECT_EQ(record->refs, 2);

  server.reset();
  EXPECT_EQ(record->refs, 1);
  EXPECT_TRUE(is_open(listening_fd));
  tcp::listener rival;
  EXPECT_FALSE(rival.listen(port));

  accepted.reset();
  EXPECT_TRUE(is_open(listening_fd));  // the copy still holds the record
  accepted_copy.close();
  EXPECT_TRUE(rival.listen(port));
}

}  // namespace
