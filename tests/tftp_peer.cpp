#include "tests/tftp_peer.h"
#include "tests/socket_address.h"

#include <arpa/inet.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <random>
#include <set>

namespace ruk_test {
namespace {

int bound_socket(const char* ip, int port, int* bound_port) {
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a = address(ip, port);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return -1;
  socklen_t n = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
  *bound_port = ntohs(a.sin_port);
  return fd;
}

int64_t now_ms() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

// sendto is the simulator's; sendmsg is not.
void send_to(int fd, const sockaddr_in& to, const std::string& packet) {
  iovec part = {const_cast<char*>(packet.data()), packet.size()};
  msghdr m;
  memset(&m, 0, sizeof m);
  m.msg_name = const_cast<sockaddr_in*>(&to);
  m.msg_namelen = sizeof to;
  m.msg_iov = &part;
  m.msg_iovlen = 1;
  sendmsg(fd, &m, MSG_DONTWAIT);
}

std::string receive(int fd, sockaddr_in* from) {
  char buffer[2048];
  socklen_t n = sizeof *from;
  ssize_t got =
      recvfrom(fd, buffer, sizeof buffer, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(from), &n);
  return got < 0 ? std::string() : std::string(buffer, static_cast<size_t>(got));
}

std::string header(int opcode, int number) {
  return {0, static_cast<char>(opcode), static_cast<char>(number >> 8 & 0xFF),
          static_cast<char>(number & 0xFF)};
}

bool same(const sockaddr_in& a, const sockaddr_in& b) {
  return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
}

}  // namespace

struct tftp_peer::state {
  bool active = false;
  sockaddr_in client;
  int block = 0;  // the block sent and awaiting its ACK
  int retransmits = 0;
  int64_t sent_at = 0;
  std::set<int> faulted;  // blocks whose fault has been played
  std::string held;       // a late block, delivered after the next one
  int due_block = 0;      // an answer held back by answer_delay_ms, 0 for none
  int64_t due_at = 0;
  std::mt19937 random;
};

tftp_peer::tftp_peer(tftp_peer_script script) : script_(std::move(script)) {
  const char* address = script_.address.c_str();
  request_fd_ = bound_socket(address, 0, &request_port_);
  transfer_fd_ = bound_socket(address, script_.transfer_port, &transfer_port_);
  int unused;
  stranger_fd_ = bound_socket("127.0.0.2", 0, &unused);
  intruder_fd_ = bound_socket(address, 0, &unused);
}

tftp_peer::~tftp_peer() {
  stop();
  for (int fd : {request_fd_, transfer_fd_, stranger_fd_, intruder_fd_}) {
    if (fd >= 0) close(fd);
  }
}

void tftp_peer::start() {
  thread_ = std::thread([this] { run(); });
}

void tftp_peer::stop() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
}

void tftp_peer::run() {
  state s;
  s.random.seed(script_.seed);
  std::uniform_real_distribution<double> chance(0.0, 1.0);
  const std::string* served = &script_.content;
  int blocks = static_cast<int>(served->size() / 512) + 1;
  int64_t stop_at = now_ms() + script_.run_limit_ms;

  auto block_packet = [&](int n, size_t bytes = 512) {
    size_t from = static_cast<size_t>(n - 1) * 512;
    return header(3, n) + served->substr(std::min(from, served->size()), bytes);
  };
  auto send_data = [&](const std::string& packet) {
    ++data_sent;
    if (script_.loss_to_client > 0 && chance(s.random) < script_.loss_to_client) {
      ++data_lost;
      return;
    }
    send_to(transfer_fd_, s.client, packet);
  };
  // The first sending of block n, with its fault played.
  auto send_block = [&](int n) {
    s.block = n;
    s.retransmits = 0;
    s.sent_at = now_ms();
    std::string packet = block_packet(n);
    std::string held = s.held;
    s.held.clear();
    auto fault = script_.faults.find(n);
    bool play = fault != script_.faults.end() && s.faulted.insert(n).second;
    if (!play) {
      send_data(packet);
    } else {
      std::string garbage = header(3, n) + std::string(packet.size() - 4, '!');
      switch (fault->second) {
        case block_fault::drop:
          break;
        case block_fault::duplicate:
          send_data(packet);
          send_data(packet);
          break;
        case block_fault::late:
          s.held = packet;
          break;
        case block_fault::corrupt:
          garbage[1] = 9;
          send_data(garbage);
          send_data(packet);
          break;
        case block_fault::truncate:
          send_data(packet.substr(0, 3));
          send_data(packet);
          break;
        case block_fault::error:
          send_to(transfer_fd_, s.client, header(5, 0) + "Disk on fire" + std::string(1, '\0'));
          s.active = false;
          break;
        case block_fault::stranger:
          send_to(stranger_fd_, s.client, garbage);
          send_data(packet);
          break;
        case block_fault::intruder:
          send_to(intruder_fd_, s.client, garbage);
          send_data(packet);
          break;
        case block_fault::ignore_ack:
          send_data(packet);
          break;
        case block_fault::oversize:
          send_data(block_packet(n, 1024));
          break;
      }
    }
    if (!held.empty()) send_data(held);
  };
  // Block n as the answer to a request or an ACK: at once, or held back.
  auto answer = [&](int n) {
    if (script_.answer_delay_ms <= 0) {
      send_block(n);
    } else if (s.due_block != n) {
      s.due_block = n;
      s.due_at = now_ms() + script_.answer_delay_ms;
    }
  };

  while (now_ms() < stop_at) {
    pollfd fds[4] = {{request_fd_, POLLIN, 0},
                     {transfer_fd_, POLLIN, 0},
                     {stranger_fd_, POLLIN, 0},
                     {intruder_fd_, POLLIN, 0}};
    int wait = 5;
    if (s.active) {
      int64_t due = (s.due_block != 0 ? s.due_at : s.sent_at + script_.retransmit_ms) - now_ms();
      wait = static_cast<int>(std::max<int64_t>(0, std::min<int64_t>(due, wait)));
    }
    // Once told to stop, take what is already waiting (the client's last
    // ACK, say), then end.
    bool last = stopping_;
    if (poll(fds, 4, last ? 0 : wait) <= 0 && last) break;
    sockaddr_in from;
    if (fds[0].revents & POLLIN) {
      std::string request = receive(request_fd_, &from);
      requests.push_back(request);
      bool repeated = s.active && same(from, s.client);
      if (!script_.silent && !repeated && request.size() >= 2 && request[1] == 1) {
        if (transfers > 0 && !script_.later_contents.empty()) {
          size_t later = std::min<size_t>(transfers - 1, script_.later_contents.size() - 1);
          served = &script_.later_contents[later];
          blocks = static_cast<int>(served->size() / 512) + 1;
        }
        ++transfers;
        s.active = true;
        s.client = from;
        finished = false;
        s.faulted.clear();
        s.due_block = 0;
        answer(1);
      }
    }
    if (fds[2].revents & POLLIN) to_stranger.push_back(receive(stranger_fd_, &from));
    if (fds[3].revents & POLLIN) to_intruder.push_back(receive(intruder_fd_, &from));
    if (fds[1].revents & POLLIN) {
      std::string packet = receive(transfer_fd_, &from);
      if (!s.active && !finished) {
        elsewhere.push_back(packet);
      } else if (!same(from, s.client)) {
        elsewhere.push_back(packet);
      } else if (packet.size() >= 4 && packet[1] == 5) {
        errors.push_back(packet);
        s.active = false;
        s.due_block = 0;
      } else if (packet.size() >= 4 && packet[1] == 4) {
        int block =
            (static_cast<unsigned char>(packet[2]) << 8) | static_cast<unsigned char>(packet[3]);
        auto fault = script_.faults.find(block);
        bool ignore = fault != script_.faults.end() && fault->second == block_fault::ignore_ack &&
                      s.faulted.insert(-block).second;
        if (ignore ||
            (script_.loss_from_client > 0 && chance(s.random) < script_.loss_from_client)) {
          ++acks_lost;
        } else {
          acks.push_back(block);
          if (s.active && script_.answer_every_ack && block < s.block && block < blocks) {
            answer(block + 1);
          } else if (s.active && block == s.block) {
            if (block == blocks) {
              finished = true;
              s.active = false;
            } else {
              answer(block + 1);
            }
          }
        }
      }
    }
    if (s.active && s.due_block != 0 && now_ms() >= s.due_at) {
      int n = s.due_block;
      s.due_block = 0;
      send_block(n);
    } else if (s.active && s.due_block == 0 && now_ms() - s.sent_at >= script_.retransmit_ms) {
      if (s.retransmits >= script_.max_retransmits) {
        gave_up = true;
        s.active = false;
      } else {
        ++s.retransmits;
        s.sent_at = now_ms();
        send_data(block_packet(s.block));
      }
    }
  }
}

}  // namespace ruk_test
