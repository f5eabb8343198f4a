// A TFTP server for tests, scriptable to misbehave: it serves one file to one
// client on 127.0.0.1 and can drop, duplicate, hold back, corrupt or cut its
// DATA packets, answer a block with ERROR, stay silent, answer late, answer
// from a set port, lose ACKs, and let a stranger (127.0.0.2) or an intruder
// (another port of 127.0.0.1) send DATA to the client in between. An ERROR
// from the client ends the transfer, as on a real server.
//
// It runs in a thread of its own in the test process, in real time, and
// stops by itself after run_limit_ms. The thread makes no call that the
// simulator wraps (it polls, receives with recvfrom and sends with sendmsg),
// so it never touches the models the program under test is using. The
// results are read after stop().
#pragma once

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace ruk_test {

// What happens to a DATA block the first time it is sent.
enum class block_fault {
  drop,        // not sent; the retransmission brings it
  duplicate,   // sent twice
  late,        // held back and delivered after the next block
  corrupt,     // preceded by a copy whose kind byte is 9 and data garbled
  truncate,    // preceded by its first three bytes alone
  error,       // ERROR (code 0) instead, and the transfer ends
  stranger,    // preceded by a DATA of that number with other bytes from 127.0.0.2
  intruder,    // the same from another port of 127.0.0.1
  ignore_ack,  // its first ACK is lost, so the block is sent again
  oversize,    // carries the next block's bytes too (up to 1024 in all)
};

struct tftp_peer_script {
  std::string address = "127.0.0.1";  // where it serves (and its intruder sends from)
  std::string content;                // the file served for a read request
  // Files served for the second, third ... request from a new client port;
  // the last of them for every request after.
  std::vector<std::string> later_contents;
  bool silent = false;        // take requests and never answer
  int transfer_port = 0;      // the port the answers come from; 0 for any
  int retransmit_ms = 20;     // an unacknowledged block is sent again after this
  int max_retransmits = 100;  // per block
  // As RFC 1350 first had it: every ACK taken, a repeated one too, is
  // answered with the block after it (so a doubled ACK doubles the blocks).
  bool answer_every_ack = false;
  // A slow server: the DATA that answers a request or an ACK goes out this
  // long after it (its own retransmissions keep retransmit_ms from then).
  // One answer is on its way at a time; an ACK asking for the same block
  // again adds nothing.
  int answer_delay_ms = 0;
  double loss_to_client = 0;    // share of DATA datagrams lost on the way out
  double loss_from_client = 0;  // share of ACKs lost on the way in
  unsigned seed = 1;
  std::map<int, block_fault> faults;  // by block number
  int run_limit_ms = 120000;
};

class tftp_peer {
 public:
  explicit tftp_peer(tftp_peer_script script);
  ~tftp_peer();
  tftp_peer(const tftp_peer&) = delete;
  tftp_peer& operator=(const tftp_peer&) = delete;

  // The port requests are taken on (send the client's port 69 here).
  int port() const { return request_port_; }
  int transfer_port() const { return transfer_port_; }

  void start();
  // Ends the thread; the results below are then complete.
  void stop();

  std::vector<std::string> requests;     // every request datagram, in order
  int transfers = 0;                     // requests served
  std::vector<int> acks;                 // block numbers of the ACKs taken, lost ones excluded
  int data_sent = 0;                     // DATA datagrams sent, retransmissions included
  int acks_lost = 0;                     // ACKs dropped by loss_from_client or ignore_ack
  int data_lost = 0;                     // DATA dropped by loss_to_client
  bool finished = false;                 // the last block was acknowledged
  bool gave_up = false;                  // a block ran out of retransmissions
  std::vector<std::string> to_stranger;  // what the stranger received
  std::vector<std::string> to_intruder;  // what the intruder received
  std::vector<std::string> elsewhere;    // datagrams to the transfer port from other senders
  std::vector<std::string> errors;       // ERRORs the client sent, each ending the transfer

 private:
  void run();
  struct state;

  tftp_peer_script script_;
  int request_fd_ = -1;
  int transfer_fd_ = -1;
  int stranger_fd_ = -1;
  int intruder_fd_ = -1;
  int request_port_ = 0;
  int transfer_port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace ruk_test
