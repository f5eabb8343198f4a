// The C library's own functions behind the wrapped calls. A simulated
// executable links with --wrap for each (sim/CMakeLists.txt): the program's
// call of open reaches __wrap_open (wrap_files.cpp), and __real_open is the
// C library's. A model that needs a real descriptor (a flash file, the
// keypad's feed, a socket) calls the __real_ function, so that its own call
// does not come back to the simulator.
//
// Where the wrappers live, by what they serve:
//   wrap_files.cpp    open close read write lseek ioctl (devices and files)
//   wrap_time.cpp     select gettimeofday settimeofday sleep
//   wrap_net.cpp      socket setsockopt sendto
//   wrap_process.cpp  reboot
#pragma once

#include <sys/select.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/types.h>

extern "C" {
int __real_open(const char* path, int flags, ...);
int __real_close(int fd);
ssize_t __real_read(int fd, void* buffer, size_t n);
ssize_t __real_write(int fd, const void* buffer, size_t n);
off_t __real_lseek(int fd, off_t offset, int whence);
int __real_ioctl(int fd, unsigned long request, ...);
int __real_select(int nfds, fd_set* r, fd_set* w, fd_set* e, timeval* limit);
int __real_gettimeofday(struct timeval* tv, void* tz);
unsigned __real_sleep(unsigned seconds);
int __real_socket(int domain, int type, int protocol);
int __real_setsockopt(int fd, int level, int name, const void* value, socklen_t n);
ssize_t __real_sendto(int fd, const void* buffer, size_t n, int flags, const struct sockaddr* to,
                      socklen_t to_length);
}
