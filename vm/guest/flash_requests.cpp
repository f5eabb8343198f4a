#include "vm/guest/flash_requests.h"

#include <fcntl.h>
#include <linux/major.h>
#include <mtd/mtd-abi.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>

#include "sim/models/transcript_format.h"

namespace vm {

std::string flash_requests::text(const seccomp_notif& call) {
  unsigned long arg[6];
  for (int i = 0; i < 6; ++i) arg[i] = static_cast<unsigned long>(call.data.args[i]);
  switch (call.data.nr) {
    case __NR_open:
      return opened(call.pid, arg[0]);
    case __NR_openat:
      return opened(call.pid, arg[1]);
    case __NR_read:
    case __NR_write:
    case __NR_ioctl:
    case __NR_close:
      return on_descriptor(call, arg);
    default:
      return "";
  }
}

bool flash_requests::attach(pid_t pid) {
  if (pid == pid_) return pidfd_ >= 0 && memory_ >= 0;
  if (pidfd_ >= 0) close(pidfd_);
  if (memory_ >= 0) close(memory_);
  pid_ = pid;
  pidfd_ = static_cast<int>(syscall(__NR_pidfd_open, pid, 0));
  memory_ = open(("/proc/" + std::to_string(pid) + "/mem").c_str(), O_RDONLY | O_CLOEXEC);
  return pidfd_ >= 0 && memory_ >= 0;
}

// Reads the program's memory; false unless all n bytes came.
bool flash_requests::peek(unsigned long address, void* out, size_t n) {
  return pread(memory_, out, n, static_cast<off_t>(address)) == static_cast<ssize_t>(n);
}

std::string flash_requests::opened(pid_t pid, unsigned long path_address) {
  if (!attach(pid)) return "";
  // Byte by byte, so that a path that ends near the end of its mapping is
  // read too.
  char path[32];
  size_t n = 0;
  for (; n < sizeof path; ++n) {
    if (!peek(path_address + n, &path[n], 1)) return "";
    if (path[n] == 0) break;
  }
  if (n == sizeof path) return "";
  std::string p(path, n);
  if (p.compare(0, 8, "/dev/mtd") != 0 || p.size() == 8 ||
      p.find_first_not_of("0123456789", 8) != std::string::npos)
    return "";
  return transcript_format::flash_open(p.substr(5));
}

// The partition behind the program's descriptor fd, its duplicate open;
// number -1 when it is none.
flash_requests::partition flash_requests::find(int fd) {
  partition p;
  p.fd = static_cast<int>(syscall(__NR_pidfd_getfd, pidfd_, fd, 0));
  if (p.fd < 0) return p;
  struct stat st;
  if (fstat(p.fd, &st) != 0 || !S_ISCHR(st.st_mode) || major(st.st_rdev) != MTD_CHAR_MAJOR)
    return p;
  p.number = static_cast<int>(minor(st.st_rdev) / 2);
  auto known = geometry_.find(p.number);
  if (known == geometry_.end()) {
    mtd_info_user info = {};
    if (ioctl(p.fd, MEMGETINFO, &info) != 0) {
      p.number = -1;
      return p;
    }
    known = geometry_.emplace(p.number, std::make_pair(info.size, info.erasesize)).first;
  }
  p.size = known->second.first;
  p.erasesize = known->second.second;
  return p;
}

std::string flash_requests::on_descriptor(const seccomp_notif& call, const unsigned long* arg) {
  if (!attach(call.pid)) return "";
  partition p = find(static_cast<int>(arg[0]));
  std::string out;
  if (p.number >= 0) {
    std::string name = "mtd" + std::to_string(p.number);
    if (call.data.nr == __NR_read || call.data.nr == __NR_write) {
      off_t at = lseek(p.fd, 0, SEEK_CUR);
      if (at >= 0) {
        uint64_t n = static_cast<uint64_t>(at) >= p.size
                         ? 0
                         : std::min<uint64_t>(arg[2], p.size - static_cast<uint64_t>(at));
        out = transcript_format::flash_request(call.data.nr == __NR_read ? "read" : "write", name,
                                               static_cast<uint64_t>(at), n);
      }
    } else if (call.data.nr == __NR_close) {
      out = transcript_format::flash_close(name);
    } else if (static_cast<unsigned>(arg[1]) == static_cast<unsigned>(MEMGETINFO)) {
      out = transcript_format::flash_info(name, p.size, p.erasesize);
    } else if (static_cast<unsigned>(arg[1]) == static_cast<unsigned>(MEMERASE)) {
      erase_info_user e;
      if (peek(arg[2], &e, sizeof e))
        out = transcript_format::flash_request("erase", name, e.start, e.length);
    }
  }
  if (p.fd >= 0) close(p.fd);
  return out;
}

}  // namespace vm
