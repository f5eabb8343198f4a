// A simulated open file: what the program's descriptor of a simulated device
// (or of a socket the simulator took over) leads to.
#pragma once

#include <errno.h>
#include <stdint.h>
#include <sys/socket.h>
#include <sys/types.h>

namespace sim {

class file {
 public:
  virtual ~file() = default;

  // The calls return as the C library does: -1 with errno on failure.
  virtual ssize_t read(void* /*buffer*/, size_t /*n*/) { return fail(EINVAL); }
  virtual ssize_t write(const void* /*buffer*/, size_t /*n*/) { return fail(EINVAL); }
  virtual off_t lseek(off_t /*offset*/, int /*whence*/) { return fail(ESPIPE); }
  virtual int ioctl(unsigned long /*request*/, void* /*arg*/) { return fail(ENOTTY); }
  virtual int setsockopt(int /*level*/, int /*name*/, const void* /*value*/, socklen_t /*n*/) {
    return fail(ENOTSOCK);
  }
  // Called once when the program closes the descriptor.
  virtual void close() {}

  // What select reports for this descriptor.
  virtual bool readable() { return false; }
  virtual bool writable() { return true; }
  virtual bool exceptional() { return false; }
  // Simulated time (sim::clock::now_us) at which readable() or exceptional()
  // changes by itself (a scripted key press, say); -1 for never.
  virtual int64_t wake_at_us() { return -1; }
  // A real descriptor whose input can change readable() or exceptional()
  // (keys typed into a front end, say); -1 for none. select waits on it too,
  // without reporting it, and then asks the file again.
  virtual int input_fd() { return -1; }

  // Whether a call on this file ends a run of display traffic (see
  // sim/seam/settle.h); false only for the files that carry it.
  virtual bool settles_display() { return true; }

 protected:
  static int fail(int error) {
    errno = error;
    return -1;
  }
};

}  // namespace sim
