#include "sim/seam/fd_table.h"
#include "sim/seam/real.h"

#include <fcntl.h>
#include <unistd.h>

#include <map>
#include <vector>


namespace sim {
namespace {

struct tables {
  std::map<std::string, opener> paths;
  std::map<int, std::shared_ptr<file>> fds;
  std::vector<void (*)()> setups;
  bool setup_done = false;
};

tables& t() {
  static tables* instance = new tables;  // outlives every static destructor
  return *instance;
}

}  // namespace

void attach_path(const std::string& path, opener open) { t().paths[path] = std::move(open); }
void detach_path(const std::string& path) { t().paths.erase(path); }
bool path_attached(const std::string& path) { return t().paths.count(path) != 0; }

int adopt(std::shared_ptr<file> f) {
  int fd = __real_open("/dev/null", O_RDWR | O_CLOEXEC);
  if (fd < 0) return -1;
  t().fds[fd] = std::move(f);
  return fd;
}

void adopt_fd(int fd, std::shared_ptr<file> f) { t().fds[fd] = std::move(f); }

std::shared_ptr<file> lookup(int fd) {
  auto& fds = t().fds;
  auto it = fds.find(fd);
  return it == fds.end() ? nullptr : it->second;
}

int open_count() { return static_cast<int>(t().fds.size()); }

std::shared_ptr<file> open_path(const char* path, int flags, bool* handled) {
  auto& paths = t().paths;
  auto it = paths.find(path);
  *handled = it != paths.end();
  if (!*handled) return nullptr;
  return it->second(flags);
}

bool release_fd(int fd) {
  auto& fds = t().fds;
  auto it = fds.find(fd);
  if (it == fds.end()) return false;
  std::shared_ptr<file> f = it->second;
  fds.erase(it);
  f->close();
  return true;
}

setup_registration::setup_registration(void (*setup)()) { t().setups.push_back(setup); }

void run_setup_once() {
  tables& tb = t();
  if (tb.setup_done) return;
  tb.setup_done = true;
  for (auto setup : tb.setups) setup();
}

}  // namespace sim
