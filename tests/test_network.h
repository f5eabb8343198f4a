// The network an end-to-end run of the simulated program lives in: a
// network namespace of the test's own (never the host's) whose loopback
// carries the addresses of the hosts the phone talks to, its gateway and its
// TFTP server, with tftpd-hpa serving a folder on one of them. The program,
// run inside with its eth0 in the simulator's model, reaches a host only
// where its eth0 configuration routes a datagram and the next hop is on the
// phone's Ethernet segment (RUK_SIM_ETH0_LINK), exactly as on a phone.
//
// Needs root (a namespace) and tftpd-hpa; ready() is false otherwise, and
// why() says what is missing, for a test to skip with.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "tests/netns.h"
#include "tests/run_ruk.h"

namespace ruk_test {

class test_network {
 public:
  // hosts: the addresses ("10.99.0.1") that exist in the network.
  explicit test_network(const std::vector<std::string>& hosts);
  ~test_network();
  test_network(const test_network&) = delete;
  test_network& operator=(const test_network&) = delete;

  bool ready() const { return why_.empty(); }
  const std::string& why() const { return why_; }

  // tftpd-hpa serving folder root on port 69 of address, until the network
  // goes. False, with why() set, when it does not start listening.
  bool serve_tftp(const std::string& address, const std::string& root);

  // A run of the program inside this network, whose eth0 has the hosts of
  // segment (comma separated, "10.77.0.1") on its link.
  void place(run_options* o, const std::string& segment) const;

  // Moves the calling thread into the network and back, for a test's own
  // sockets (a scripted peer) to be made there.
  bool enter() { return ns_.enter(); }
  void leave() { ns_.leave(); }

 private:
  netns ns_{false};
  std::string why_;
  pid_t tftpd_ = -1;
};

// tftpd-hpa serving folder root on port 69 of address inside the test
// namespace netns, as this process's child: its process, or -1 with *why
// set when it does not start listening within five seconds.
pid_t start_tftpd(const std::string& netns, const std::string& address, const std::string& root,
                  std::string* why);
void stop_tftpd(pid_t tftpd);

}  // namespace ruk_test
