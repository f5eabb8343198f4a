// The program's requests to the flash partitions (/dev/mtdN), as the
// transcript's "flash" lines word them ("open mtd5", "info mtd5 size 8388608
// erasesize 65536", "erase mtd5 0+65536", "write mtd5 16+8176", "read mtd5
// 0+16", "close mtd5"), read from the system call at which the program
// stopped (the seccomp filter's notification) before the call goes on.
// Whether the request then succeeds is not seen here.
//
// The call's details come from the program itself: the path of an open and
// an erase's range from its memory (/proc/PID/mem), a descriptor's device
// and position from a duplicate of it (pidfd_getfd), closed again before
// the call goes on, so that the program's own close stays the last.
#pragma once

#include <linux/seccomp.h>
#include <stdint.h>
#include <sys/types.h>

#include <map>
#include <string>
#include <utility>

namespace vm {

class flash_requests {
 public:
  flash_requests() = default;
  flash_requests(const flash_requests&) = delete;
  flash_requests& operator=(const flash_requests&) = delete;

  // The transcript text of the call, "" when it is no flash request (or the
  // program could not be read).
  std::string text(const seccomp_notif& call);

 private:
  struct partition {
    int number = -1;
    int fd = -1;  // the duplicate
    uint32_t size = 0;
    uint32_t erasesize = 0;
  };

  bool attach(pid_t pid);
  bool peek(unsigned long address, void* out, size_t n);
  std::string opened(pid_t pid, unsigned long path_address);
  partition find(int fd);
  std::string on_descriptor(const seccomp_notif& call, const unsigned long* arg);

  pid_t pid_ = 0;
  int pidfd_ = -1;
  int memory_ = -1;
  std::map<int, std::pair<uint32_t, uint32_t>> geometry_;  // size, erase size
};

}  // namespace vm
