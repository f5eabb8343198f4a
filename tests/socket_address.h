// Socket addresses for the tests. Every datagram and connection of the tests
// goes to 127.0.0.1, or to a host inside a network namespace that the test
// itself made.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <string.h>
#include <sys/socket.h>

namespace ruk_test {

inline sockaddr_in address(const char* ip, int port) {
  sockaddr_in a;
  memset(&a, 0, sizeof a);
  a.sin_family = AF_INET;
  inet_pton(AF_INET, ip, &a.sin_addr);
  a.sin_port = htons(static_cast<uint16_t>(port));
  return a;
}

inline sockaddr_in loopback(int port) {
  return address("127.0.0.1", port);
}

// The local port a socket is bound to, or -1.
inline int port_of(int fd) {
  sockaddr_in a;
  socklen_t n = sizeof a;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n) != 0) return -1;
  return ntohs(a.sin_port);
}

}  // namespace ruk_test
