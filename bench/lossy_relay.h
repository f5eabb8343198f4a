// A UDP relay between a TFTP client and a TFTP server on loopback that loses
// and delays datagrams, the same way for every client: whether a datagram is
// lost depends on the seed and on what it is (its direction, opcode and block
// number, and how often that one has passed before), not on its place in the
// traffic. So every client put through the relay with the same seed loses
// the same blocks' DATA and ACKs, and the same retransmissions of them,
// whatever else it sends.
//
// The client sends its requests to the relay's port, as it would to port
// 69; the relay sends them on to the server's port. Each server transfer
// port (TID) the relay sees gets a port of its own on the relay, from which
// the client receives that transfer's datagrams, and to which it answers:
// the client sees one server with its own transfer port, as on a network.
//
// Runs in a process of its own (start/stop), so that the clients and the
// benchmark's own timing are not disturbed by it.
#pragma once

#include <sys/types.h>

#include <string>

namespace bench {

struct relay_setting {
  int server_port = 69;       // the server's request port on 127.0.0.1
  double loss_to_client = 0;  // share of the server's datagrams lost
  double loss_to_server = 0;  // share of the client's datagrams lost
  unsigned seed = 1;
  long delay_us = 0;  // each datagram held this long, both ways
};

class lossy_relay {
 public:
  explicit lossy_relay(const relay_setting& setting);
  ~lossy_relay();
  lossy_relay(const lossy_relay&) = delete;
  lossy_relay& operator=(const lossy_relay&) = delete;

  // The relay's request port: the client's port 69.
  int port() const { return port_; }
  // Starts relaying in a child process; false when it cannot be started.
  bool start();
  // Ends the child; the counts below are then those of the run.
  void stop();

  long lost_to_client = 0;
  long lost_to_server = 0;
  long relayed = 0;

 private:
  relay_setting setting_;
  int request_fd_ = -1;
  int port_ = 0;
  int report_fd_ = -1;
  pid_t child_ = -1;
};

}  // namespace bench
