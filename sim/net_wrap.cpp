// The program's socket calls. Packet sockets (the program configures eth0
// through one) belong to the network-configuration model; every other
// socket goes to the C library unchanged.
#include <sys/socket.h>
#include <sys/types.h>

#include "sim/fd_table.h"
#include "sim/netconfig_model.h"
#include "sim/settle.h"

extern "C" {
int __real_socket(int domain, int type, int protocol);
int __real_setsockopt(int fd, int level, int name, const void* value, socklen_t n);
ssize_t __real_sendto(int fd, const void* buffer, size_t n, int flags, const struct sockaddr* to,
                      socklen_t to_length);
}

extern "C" int __wrap_socket(int domain, int type, int protocol) {
  sim::settle();
  if (domain == AF_PACKET) return sim::netconfig::open_socket(domain, type, protocol);
  return __real_socket(domain, type, protocol);
}

extern "C" int __wrap_setsockopt(int fd, int level, int name, const void* value, socklen_t n) {
  auto f = sim::lookup(fd);
  sim::settle_for(f);
  if (f) return f->setsockopt(level, name, value, n);
  return __real_setsockopt(fd, level, name, value, n);
}

extern "C" ssize_t __wrap_sendto(int fd, const void* buffer, size_t n, int flags,
                                 const struct sockaddr* to, socklen_t to_length) {
  sim::settle();
  return __real_sendto(fd, buffer, n, flags, to, to_length);
}
