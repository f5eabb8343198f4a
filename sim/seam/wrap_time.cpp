// The program's calls on time: select, which waits on simulated and real
// descriptors alike, the clock's readings and setting, and sleep. On the
// virtual clock (sim/seam/clock.h) a wait takes no real time: the simulated
// clock jumps to its end instead.
#include <sys/select.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "sim/seam/clock.h"
#include "sim/seam/fd_table.h"
#include "sim/seam/real.h"
#include "sim/seam/settle.h"

namespace {

constexpr int64_t forever = INT64_MAX;
// In virtual time, how long (real time) to listen to real descriptors before
// the clock jumps ahead to the end of the wait.
constexpr int64_t virtual_listen_us = 20000;

timeval to_timeval(int64_t us) {
  timeval tv;
  tv.tv_sec = static_cast<time_t>(us / 1000000);
  tv.tv_usec = static_cast<suseconds_t>(us % 1000000);
  return tv;
}

bool in(const fd_set* set, int fd) {
  return set != nullptr && FD_ISSET(fd, set);
}

}  // namespace

// select over a mix of simulated and real descriptors. Simulated ones are
// asked for their state; real ones go to the kernel; the wait ends at the
// caller's limit or when a model says its state changes (a scripted event, or
// input on a model's feed).
extern "C" int __wrap_select(int nfds, fd_set* rd, fd_set* wr, fd_set* ex, timeval* limit) {
  sim::run_setup_once();
  sim::settle();
  if (nfds < 0 || nfds > FD_SETSIZE) return __real_select(nfds, rd, wr, ex, limit);

  fd_set real_r, real_w, real_e;
  FD_ZERO(&real_r);
  FD_ZERO(&real_w);
  FD_ZERO(&real_e);
  int real_nfds = 0;
  struct sim_fd {
    int fd;
    std::shared_ptr<sim::file> f;
  };
  std::vector<sim_fd> sims;
  for (int fd = 0; fd < nfds; ++fd) {
    if (!in(rd, fd) && !in(wr, fd) && !in(ex, fd)) continue;
    if (auto f = sim::lookup(fd)) {
      sims.push_back({fd, f});
    } else {
      if (in(rd, fd)) FD_SET(fd, &real_r);
      if (in(wr, fd)) FD_SET(fd, &real_w);
      if (in(ex, fd)) FD_SET(fd, &real_e);
      real_nfds = fd + 1;
    }
  }

  int64_t deadline = forever;
  if (limit != nullptr) {
    int64_t us = static_cast<int64_t>(limit->tv_sec) * 1000000 + limit->tv_usec;
    deadline = sim::clock::now_us() + std::max<int64_t>(us, 0);
  }

  for (;;) {
    fd_set out_r, out_w, out_e;
    FD_ZERO(&out_r);
    FD_ZERO(&out_w);
    FD_ZERO(&out_e);
    int ready = 0;
    int64_t now = sim::clock::now_us();
    int64_t wake = deadline;
    fd_set feeds;
    FD_ZERO(&feeds);
    int feed_nfds = 0;
    // As the kernel does, the result counts the bits set in all three sets.
    for (auto& s : sims) {
      if (in(rd, s.fd) && s.f->readable()) FD_SET(s.fd, &out_r), ++ready;
      if (in(wr, s.fd) && s.f->writable()) FD_SET(s.fd, &out_w), ++ready;
      if (in(ex, s.fd) && s.f->exceptional()) FD_SET(s.fd, &out_e), ++ready;
      int64_t at = s.f->wake_at_us();
      if (at > now) wake = std::min(wake, at);
      int feed = s.f->input_fd();
      if (feed >= 0 && feed < FD_SETSIZE) {
        FD_SET(feed, &feeds);
        feed_nfds = std::max(feed_nfds, feed + 1);
      }
    }

    // forever stays forever: a wait without a limit must not move the
    // virtual clock to the end of time.
    int64_t wait = ready > 0 ? 0 : wake == forever ? forever : std::max<int64_t>(wake - now, 0);
    bool virtual_time = sim::clock::is_virtual();
    // With nothing real to listen to, a virtual wait takes no real time.
    int64_t real_wait = !virtual_time                      ? wait
                        : real_nfds == 0 && feed_nfds == 0 ? 0
                                                           : std::min(wait, virtual_listen_us);
    bool fed = false;  // a model's feed has input: ask the models again
    if (real_nfds > 0 || feed_nfds > 0 || real_wait > 0) {
      fd_set r = real_r, w = real_w, e = real_e;
      for (int fd = 0; fd < feed_nfds; ++fd) {
        if (FD_ISSET(fd, &feeds)) FD_SET(fd, &r);
      }
      timeval tv = to_timeval(real_wait);
      bool unlimited = !virtual_time && wait == forever;
      int n = __real_select(std::max(real_nfds, feed_nfds), &r, &w, &e, unlimited ? nullptr : &tv);
      if (n < 0) return n;
      for (int fd = 0; fd < real_nfds && n > 0; ++fd) {
        if (FD_ISSET(fd, &r) && FD_ISSET(fd, &real_r)) FD_SET(fd, &out_r), ++ready;
        if (FD_ISSET(fd, &w)) FD_SET(fd, &out_w), ++ready;
        if (FD_ISSET(fd, &e)) FD_SET(fd, &out_e), ++ready;
      }
      for (int fd = 0; fd < feed_nfds && n > 0; ++fd) {
        if (FD_ISSET(fd, &feeds) && FD_ISSET(fd, &r)) fed = true;
      }
    }
    if (ready == 0 && !fed && virtual_time && wait != forever) sim::clock::advance_us(wait);

    if (ready > 0 || sim::clock::now_us() >= deadline) {
      if (rd != nullptr) *rd = out_r;
      if (wr != nullptr) *wr = out_w;
      if (ex != nullptr) *ex = out_e;
      return ready;
    }
    if (virtual_time && wait == forever && real_nfds == 0 && feed_nfds == 0) {
      // Nothing can ever become ready: the real call would block for good.
      return __real_select(0, nullptr, nullptr, nullptr, nullptr);
    }
  }
}

// The program's clock calls. Reading the clock does not settle the display
// (sim/seam/settle.h): a driver may time its pauses by it in the middle of a
// screen update.
extern "C" int __wrap_settimeofday(const struct timeval* tv, const void* /*tz*/) {
  sim::settle();
  if (tv != nullptr) sim::clock::set_us(static_cast<int64_t>(tv->tv_sec) * 1000000 + tv->tv_usec);
  return 0;
}

extern "C" int __wrap_gettimeofday(struct timeval* tv, void* /*tz*/) {
  if (tv != nullptr) *tv = to_timeval(sim::clock::now_us());
  return 0;
}

// The program's sleep(): on the virtual clock a pause takes no real time,
// the simulated clock moves on by it instead. A pause settles the display:
// what it shows is what a person looks at meanwhile.
extern "C" unsigned __wrap_sleep(unsigned seconds) {
  sim::settle();
  if (!sim::clock::is_virtual()) return __real_sleep(seconds);
  sim::clock::advance_us(static_cast<int64_t>(seconds) * 1000000);
  return 0;
}
