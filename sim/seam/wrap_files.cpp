// The program's calls on files and devices: open, close, read, write, lseek
// and ioctl arrive here (the simulated targets link with --wrap). A call on a
// simulated path or descriptor is served by its model; every other call goes
// on to the C library unchanged. Each call first lets a simulated display
// settle (sim/seam/settle.h).
#include <fcntl.h>
#include <stdarg.h>
#include <unistd.h>

#include "sim/seam/fd_table.h"
#include "sim/seam/real.h"
#include "sim/seam/settle.h"

extern "C" int __wrap_open(const char* path, int flags, ...) {
  mode_t mode = 0;
  if (flags & (O_CREAT | O_TMPFILE)) {
    va_list ap;
    va_start(ap, flags);
    mode = static_cast<mode_t>(va_arg(ap, int));
    va_end(ap);
  }
  sim::run_setup_once();
  sim::settle();
  if (path != nullptr) {
    bool handled = false;
    std::shared_ptr<sim::file> f = sim::open_path(path, flags, &handled);
    if (handled) return f ? sim::adopt(std::move(f)) : -1;
  }
  return __real_open(path, flags, mode);
}

extern "C" int __wrap_close(int fd) {
  sim::settle();  // closing even the display's own device ends its traffic
  if (sim::release_fd(fd)) {
    __real_close(fd);
    return 0;
  }
  return __real_close(fd);
}

extern "C" ssize_t __wrap_read(int fd, void* buffer, size_t n) {
  auto f = sim::lookup(fd);
  sim::settle_for(f);
  if (f) return f->read(buffer, n);
  return __real_read(fd, buffer, n);
}

extern "C" ssize_t __wrap_write(int fd, const void* buffer, size_t n) {
  auto f = sim::lookup(fd);
  sim::settle_for(f);
  if (f) return f->write(buffer, n);
  return __real_write(fd, buffer, n);
}

extern "C" off_t __wrap_lseek(int fd, off_t offset, int whence) {
  auto f = sim::lookup(fd);
  sim::settle_for(f);
  if (f) return f->lseek(offset, whence);
  return __real_lseek(fd, offset, whence);
}

extern "C" int __wrap_ioctl(int fd, unsigned long request, ...) {
  va_list ap;
  va_start(ap, request);
  void* arg = va_arg(ap, void*);
  va_end(ap);
  sim::run_setup_once();
  auto f = sim::lookup(fd);
  sim::settle_for(f);
  if (f) return f->ioctl(request, arg);
  return __real_ioctl(fd, request, arg);
}
