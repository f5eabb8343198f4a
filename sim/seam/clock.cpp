#include "sim/seam/clock.h"
#include "sim/seam/real.h"
#include "sim/seam/settings.h"

#include <sys/time.h>
#include <time.h>

namespace sim {
namespace {

struct state {
  bool virtual_time = false;
  int64_t offset_us = 0;       // real mode: simulated minus host time
  int64_t virtual_us = 0;      // virtual mode: the time itself
  int64_t start_mono_us = 0;   // real mode: monotonic time at start
  int64_t virtual_elapsed = 0; // virtual mode: advances so far
  int set_calls = 0;
  int64_t last_set = 0;
  void (*alarm)() = nullptr;    // virtual mode: runs when virtual_elapsed reaches alarm_at
  int64_t alarm_at = 0;
  bool initialised = false;
};

int64_t host_us() {
  timeval tv;
  __real_gettimeofday(&tv, nullptr);
  return static_cast<int64_t>(tv.tv_sec) * 1000000 + tv.tv_usec;
}

int64_t mono_us() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

state& st() {
  static state s;
  if (!s.initialised) {
    s.initialised = true;
    s.start_mono_us = mono_us();
    if (settings::is(setting::clock, "virtual")) {
      s.virtual_time = true;
      s.virtual_us = host_us();
    }
  }
  return s;
}

// Cleared before it runs, so that f may set another.
void ring(state& s) {
  void (*f)() = s.alarm;
  s.alarm = nullptr;
  f();
}

}  // namespace

int64_t clock::now_us() {
  state& s = st();
  return s.virtual_time ? s.virtual_us : host_us() + s.offset_us;
}

void clock::set_us(int64_t t) {
  state& s = st();
  ++s.set_calls;
  s.last_set = t;
  warp_us(t);
}

void clock::warp_us(int64_t t) {
  state& s = st();
  if (s.virtual_time) {
    s.virtual_us = t;
  } else {
    s.offset_us = t - host_us();
  }
}

int64_t clock::elapsed_us() {
  state& s = st();
  return s.virtual_time ? s.virtual_elapsed : mono_us() - s.start_mono_us;
}

int clock::set_calls() { return st().set_calls; }
int64_t clock::last_set_us() { return st().last_set; }

void clock::use_virtual(bool on) {
  state& s = st();
  if (on == s.virtual_time) return;
  int64_t now = now_us();
  s.virtual_time = on;
  if (on) {
    s.virtual_us = now;
  } else {
    s.offset_us = now - host_us();
  }
}

bool clock::is_virtual() { return st().virtual_time; }

void clock::advance_us(int64_t us) {
  state& s = st();
  if (!s.virtual_time || us <= 0) return;
  while (s.alarm != nullptr && s.virtual_elapsed + us >= s.alarm_at) {
    int64_t step = s.alarm_at - s.virtual_elapsed;
    s.virtual_us += step;
    s.virtual_elapsed += step;
    us -= step;
    ring(s);
  }
  s.virtual_us += us;
  s.virtual_elapsed += us;
}

void clock::alarm_at_elapsed_us(int64_t t, void (*f)()) {
  state& s = st();
  s.alarm = f;
  s.alarm_at = t;
  if (f != nullptr && s.virtual_time && t <= s.virtual_elapsed) ring(s);
}

void clock::reset() {
  state& s = st();
  s = state();
  s.initialised = true;
  s.start_mono_us = mono_us();
}

}  // namespace sim
