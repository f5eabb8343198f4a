#include "tests/test_network.h"

#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace ruk_test {

test_network::test_network(const std::vector<std::string>& hosts) {
  if (!ns_.ready()) {
    why_ = ns_.why();
    return;
  }
  int status = 0;
  run_command("command -v in.tftpd >/dev/null && command -v ss >/dev/null", &status);
  if (status != 0) {
    why_ = "needs in.tftpd (tftpd-hpa) and ss (iproute2)";
    return;
  }
  std::string commands = "ip -n " + ns_.name() + " link set lo up";
  for (const std::string& host : hosts) {
    commands += " && ip -n " + ns_.name() + " addr add " + host + "/32 dev lo";
  }
  std::string error = run_command(commands + " 2>&1", &status);
  if (status != 0) why_ = "cannot give the test network its hosts: " + error;
}

test_network::~test_network() {
  stop_tftpd(tftpd_);
}

pid_t start_tftpd(const std::string& netns, const std::string& address, const std::string& root,
                  std::string* why) {
  // Made before the fork: the child only execs (see tests/run_ruk.cpp).
  std::string listen = address + ":69";
  pid_t tftpd = fork();
  if (tftpd < 0) {
    *why = "cannot start tftpd-hpa";
    return -1;
  }
  if (tftpd == 0) {
    // In the foreground, so that it is this process's child and ends with it.
    execlp("ip", "ip", "netns", "exec", netns.c_str(), "in.tftpd", "--foreground", "--listen",
           "--ipv4", "--secure", "--address", listen.c_str(), root.c_str(),
           static_cast<char*>(nullptr));
    _exit(127);
  }
  // Listening within five seconds, or it failed.
  for (int i = 0; i < 100; ++i) {
    int status = 0;
    std::string sockets = run_command("ip netns exec " + netns + " ss -lun", &status);
    if (sockets.find(address + ":69") != std::string::npos) return tftpd;
    timespec pause = {0, 50000000};
    nanosleep(&pause, nullptr);
  }
  stop_tftpd(tftpd);
  *why = "tftpd-hpa did not start listening on " + address;
  return -1;
}

void stop_tftpd(pid_t tftpd) {
  if (tftpd <= 0) return;
  kill(tftpd, SIGTERM);
  waitpid(tftpd, nullptr, 0);
}

bool test_network::serve_tftp(const std::string& address, const std::string& root) {
  tftpd_ = start_tftpd(ns_.name(), address, root, &why_);
  return tftpd_ > 0;
}

void test_network::place(run_options* o, const std::string& segment) const {
  o->netns = ns_.name();
  o->env.push_back({"RUK_SIM_ETH0_LINK", segment});
}

}  // namespace ruk_test
