// Kernel mode of the network-configuration model: requests are recorded and
// then issued for real. Reaching the kernel is allowed only inside a network
// namespace that a test made, so that a host's own interfaces are never
// touched.

// The namespace files' inode numbers and the entries of /run/netns do not
// fit the 32-bit stat and readdir of a 32-bit build (the MIPS one):
// readdir there fails with EOVERFLOW. So this file, which passes no file
// offsets to the program, uses the 64-bit interfaces everywhere.
#define _FILE_OFFSET_BITS 64

#include <dirent.h>
#include <string.h>
#include <sys/stat.h>

#include <memory>

#include "sim/seam/file.h"
#include "sim/models/netconfig_decode.h"
#include "sim/seam/netconfig_model.h"
#include "sim/seam/real.h"

namespace sim {
namespace {

constexpr char test_namespaces[] = "/run/netns";
constexpr char test_prefix[] = "ruk-test-";

bool same_file(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

class kernel_socket : public file {
 public:
  explicit kernel_socket(int fd) : fd_(fd) {}
  int ioctl(unsigned long request, void* arg) override {
    int result = __real_ioctl(fd_, request, arg);
    int error = errno;
    netconfig::log(describe(request, arg, result, error));
    errno = error;
    return result;
  }
  int setsockopt(int level, int name, const void* value, socklen_t n) override {
    int result = __real_setsockopt(fd_, level, name, value, n);
    int error = errno;
    netconfig::log(describe_option(level, name, value, n, result, error));
    errno = error;
    return result;
  }
  void close() override { netconfig::log("close"); }

 private:
  int fd_;
};

}  // namespace

std::shared_ptr<file> make_kernel_socket(int fd) {
  return std::make_shared<kernel_socket>(fd);
}

std::string netconfig::kernel_refusal() {
  struct stat self;
  if (stat("/proc/self/ns/net", &self) != 0) return "cannot read /proc/self/ns/net";
  struct stat first;
  if (stat("/proc/1/ns/net", &first) == 0 && same_file(self, first)) {
    return "this process is in the network namespace of process 1";
  }
  DIR* dir = opendir(test_namespaces);
  bool found = false;
  while (dir != nullptr && !found) {
    dirent* entry = readdir(dir);
    if (entry == nullptr) break;
    if (strncmp(entry->d_name, test_prefix, sizeof test_prefix - 1) != 0) continue;
    struct stat bound;
    std::string path = std::string(test_namespaces) + "/" + entry->d_name;
    found = stat(path.c_str(), &bound) == 0 && same_file(self, bound);
  }
  if (dir != nullptr) closedir(dir);
  if (found) return "";
  return std::string(
             "this process is not inside a network namespace made for a test (one bound at ") +
         test_namespaces + "/" + test_prefix + "NAME)";
}

}  // namespace sim
