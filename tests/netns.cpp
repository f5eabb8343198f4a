#include "tests/netns.h"

#include <fcntl.h>
#include <sched.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ruk_test {

std::string run_command(const std::string& command, int* status) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    *status = -1;
    return out;
  }
  char buffer[512];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  int raw = pclose(pipe);
  *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return out;
}

netns::netns(bool with_eth0) {
  static int made = 0;
  name_ = "ruk-test-" + std::to_string(getpid()) + "-" + std::to_string(++made);
  int status = 0;
  if (geteuid() != 0) {
    why_ = "needs root to make a network namespace with a veth";
    return;
  }
  run_command("command -v ip >/dev/null", &status);
  if (status != 0) {
    why_ = "needs the ip command (Debian package iproute2)";
    return;
  }
  std::string error = run_command("ip netns add " + name_ + " 2>&1", &status);
  if (status != 0) {
    why_ = "cannot make a network namespace: " + error;
    name_.clear();
    return;
  }
  if (!with_eth0) return;
  error =
      run_command("ip -n " + name_ + " link add eth0 type veth peer name ruk-peer0 2>&1", &status);
  if (status != 0) why_ = "cannot make a veth named eth0: " + error;
}

netns::~netns() {
  leave();
  int status = 0;
  if (!name_.empty()) run_command("ip netns del " + name_ + " 2>/dev/null", &status);
}

std::string netns::ip(const std::string& args) const {
  int status = 0;
  std::string out = run_command("ip -n " + name_ + " " + args, &status);
  return status == 0 ? out : std::string();
}

bool netns::enter() {
  if (home_ >= 0) return true;
  home_ = ::open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
  int target = ::open(("/run/netns/" + name_).c_str(), O_RDONLY | O_CLOEXEC);
  bool ok = home_ >= 0 && target >= 0 && setns(target, CLONE_NEWNET) == 0;
  if (target >= 0) ::close(target);
  if (!ok && home_ >= 0) {
    ::close(home_);
    home_ = -1;
  }
  return ok;
}

void netns::leave() {
  if (home_ < 0) return;
  setns(home_, CLONE_NEWNET);
  ::close(home_);
  home_ = -1;
}

}  // namespace ruk_test
