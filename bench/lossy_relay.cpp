#include "bench/lossy_relay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdint.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <deque>
#include <map>
#include <vector>

namespace bench {
namespace {

volatile sig_atomic_t stopping = 0;

void on_term(int) {
  stopping = 1;
}

sockaddr_in loopback(int port) {
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  return a;
}

int bound_socket(int* port) {
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a = loopback(0);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return -1;
  socklen_t n = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
  if (port != nullptr) *port = ntohs(a.sin_port);
  return fd;
}

long long now_us() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<long long>(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
}

// A number in [0, 1) that depends only on key (splitmix64).
double chance_of(uint64_t key) {
  key += 0x9E3779B97F4A7C15ULL;
  key = (key ^ (key >> 30)) * 0xBF58476D1CE4E5B9ULL;
  key = (key ^ (key >> 27)) * 0x94D049BB133111EBULL;
  key ^= key >> 31;
  return static_cast<double>(key >> 11) / 9007199254740992.0;
}

struct held {
  long long due;
  int fd;
  sockaddr_in to;
  std::string bytes;
};

// The relay's loop, in the child: returns when told to stop.
void relay(const relay_setting& s, int request_fd, long counts[3]) {
  std::map<uint64_t, int> passed;        // by what a datagram is: how often it came before
  int upstream = bound_socket(nullptr);  // the relay's side towards the server
  std::map<int, int> faces;              // server transfer port -> relay port towards the client
  std::map<int, int> tids;               // relay socket towards the client -> server transfer port
  sockaddr_in client = {};
  std::deque<held> queue;  // in order of due time: one delay for all

  auto pass = [&](bool towards_client, int fd, const sockaddr_in& to, std::string bytes) {
    double loss = towards_client ? s.loss_to_client : s.loss_to_server;
    auto byte = [&](size_t i) {
      return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0u;
    };
    uint64_t what =
        static_cast<uint64_t>(towards_client) << 32 | byte(1) << 16 | byte(2) << 8 | byte(3);
    uint64_t key =
        static_cast<uint64_t>(s.seed) << 48 ^ what << 8 ^ static_cast<uint64_t>(passed[what]++);
    if (loss > 0 && chance_of(key) < loss) {
      ++counts[towards_client ? 0 : 1];
      return;
    }
    ++counts[2];
    queue.push_back({now_us() + s.delay_us, fd, to, std::move(bytes)});
  };
  // SIGTERM only reaches the loop while it waits, so that it is never missed.
  sigset_t blocked, waiting;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGTERM);
  sigprocmask(SIG_BLOCK, &blocked, &waiting);
  sigdelset(&waiting, SIGTERM);

  while (!stopping) {
    std::vector<pollfd> fds = {{request_fd, POLLIN, 0}, {upstream, POLLIN, 0}};
    for (const auto& f : tids) fds.push_back({f.first, POLLIN, 0});
    long long wait = -1;
    if (!queue.empty()) wait = std::max(0LL, queue.front().due - now_us());
    timespec limit = {static_cast<time_t>(wait / 1000000),
                      static_cast<long>(wait % 1000000) * 1000};
    int ready = ppoll(fds.data(), fds.size(), wait < 0 ? nullptr : &limit, &waiting);
    if (ready < 0) continue;  // a signal: look at stopping
    for (const pollfd& p : fds) {
      if (!(p.revents & POLLIN)) continue;
      char buffer[2048];
      sockaddr_in from = {};
      socklen_t n = sizeof from;
      ssize_t got = recvfrom(p.fd, buffer, sizeof buffer, MSG_DONTWAIT,
                             reinterpret_cast<sockaddr*>(&from), &n);
      if (got < 0) continue;
      std::string bytes(buffer, static_cast<size_t>(got));
      if (p.fd == request_fd) {
        client = from;
        pass(false, upstream, loopback(s.server_port), bytes);
      } else if (p.fd == upstream) {
        int tid = ntohs(from.sin_port);
        if (faces.count(tid) == 0) {
          int face = bound_socket(nullptr);
          faces[tid] = face;
          tids[face] = tid;
        }
        pass(true, faces[tid], client, bytes);
      } else {
        pass(false, upstream, loopback(tids[p.fd]), bytes);
      }
    }
    long long now = now_us();
    while (!queue.empty() && queue.front().due <= now) {
      const held& h = queue.front();
      sendto(h.fd, h.bytes.data(), h.bytes.size(), 0, reinterpret_cast<const sockaddr*>(&h.to),
             sizeof h.to);
      queue.pop_front();
    }
  }
}

}  // namespace

lossy_relay::lossy_relay(const relay_setting& setting) : setting_(setting) {
  request_fd_ = bound_socket(&port_);
}

lossy_relay::~lossy_relay() {
  stop();
  if (request_fd_ >= 0) close(request_fd_);
}

bool lossy_relay::start() {
  int report[2];
  if (request_fd_ < 0 || pipe(report) != 0) return false;
  child_ = fork();
  if (child_ < 0) return false;
  if (child_ == 0) {
    close(report[0]);
    signal(SIGTERM, on_term);
    long counts[3] = {0, 0, 0};
    relay(setting_, request_fd_, counts);
    ssize_t ignored = write(report[1], counts, sizeof counts);
    (void)ignored;
    _exit(0);
  }
  close(report[1]);
  report_fd_ = report[0];
  return true;
}

void lossy_relay::stop() {
  if (child_ <= 0) return;
  kill(child_, SIGTERM);
  long counts[3] = {0, 0, 0};
  if (read(report_fd_, counts, sizeof counts) == static_cast<ssize_t>(sizeof counts)) {
    lost_to_client = counts[0];
    lost_to_server = counts[1];
    relayed = counts[2];
  }
  close(report_fd_);
  report_fd_ = -1;
  waitpid(child_, nullptr, 0);
  child_ = -1;
}

}  // namespace bench
