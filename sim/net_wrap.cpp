// The program's socket and sendto calls. Sockets of other kinds than the
// models serve go to the C library unchanged.
#include <sys/socket.h>
#include <sys/types.h>

#include "sim/settle.h"

extern "C" {
int __real_socket(int domain, int type, int protocol);
ssize_t __real_sendto(int fd, const void* buffer, size_t n, int flags, const struct sockaddr* to,
                      socklen_t to_length);
}

extern "C" int __wrap_socket(int domain, int type, int protocol) {
  sim::settle();
  return __real_socket(domain, type, protocol);
}

extern "C" ssize_t __wrap_sendto(int fd, const void* buffer, size_t n, int flags,
                                 const struct sockaddr* to, socklen_t to_length) {
  sim::settle();
  return __real_sendto(fd, buffer, n, flags, to, to_length);
}
