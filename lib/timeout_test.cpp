#include "lib/timeout.h"

#include <gtest/gtest.h>
#include <sys/select.h>

#include <set>
#include <vector>

#include "sim/seam/clock.h"

namespace {

// Timers in these tests run on the simulator's virtual clock: time moves
// only when a test says so.
class Timers : public testing::Test {
 protected:
  void SetUp() override {
    ctimestamp::now();  // the one setting of the clock happens first
    sim::clock::use_virtual(true);
    at(1000, 0);
    ran.clear();
  }
  void TearDown() override {
    ASSERT_TRUE(timeout::empty()) << "a test left a timer armed";
    sim::clock::use_virtual(false);
  }
  static void at(int64_t seconds, int64_t micros) {
    sim::clock::warp_us(seconds * 1000000 + micros);
  }

  static void record(void* a1, void* a2) {
    ran.push_back(static_cast<int>(reinterpret_cast<intptr_t>(a1)));
    EXPECT_EQ(a2, nullptr);
  }
  static void* tag(int n) { return reinterpret_cast<void*>(static_cast<intptr_t>(n)); }

  static std::vector<int> ran;
};
std::vector<int> Timers::ran;

TEST_F(Timers, TheFirstClockReadingSetsTheFixedDateOnce) {
  for (int i = 0; i < 5; ++i) ctimestamp::now();
  EXPECT_EQ(sim::clock::set_calls(), 1);
  EXPECT_EQ(sim::clock::last_set_us(), int64_t{1009152000} * 1000000);
  EXPECT_TRUE(ctimestamp::clock_set);
}

TEST_F(Timers, EqualExpiriesRunInArmingOrder) {
  timeout a, b, c;
  b.callback(100, record, tag(2), nullptr);
  a.callback(100, record, tag(1), nullptr);
  c.callback(50, record, tag(3), nullptr);
  EXPECT_EQ(timeout::timeouts.count, 3);
  for (int i = 0; i < 3; ++i) timeout::next();
  EXPECT_EQ(ran, (std::vector<int>{3, 2, 1}));
  EXPECT_FALSE(a.armed());
}

TEST_F(Timers, ArmingAnArmedTimerMovesIt) {
  timeout a, b;
  a.callback(100, record, tag(1), nullptr);
  b.callback(200, record, tag(2), nullptr);
  a.callback(300, record, tag(1), nullptr);
  EXPECT_EQ(timeout::timeouts.count, 2);
  EXPECT_EQ(timeout::timeouts.front(), &b);
  timeout::next();
  timeout::next();
  EXPECT_EQ(ran, (std::vector<int>{2, 1}));
}

TEST_F(Timers, ClearingAndDestroying) {
  timeout idle;
  idle.clear();
  EXPECT_TRUE(timeout::empty());
  timeout a;
  a.callback(10, record, tag(1), nullptr);
  {
    timeout b;
    b.callback(5, record, tag(2), nullptr);
    EXPECT_EQ(timeout::timeouts.count, 2);
  }
  EXPECT_EQ(timeout::timeouts.count, 1) << "a destroyed timer leaves the list";
  a.clear();
  a.clear();
  EXPECT_TRUE(timeout::empty());
  timeout::next();  // nothing armed: nothing happens
  EXPECT_TRUE(ran.empty());
}

TEST_F(Timers, ExpiryArithmetic) {
  at(10, 700000);
  timeout t;
  t.callback(1500, record, tag(1), nullptr);
  EXPECT_EQ(t.expires.seconds, 12);
  EXPECT_EQ(t.expires.microseconds, 200000);
  t.callback(999, record, tag(1), nullptr);
  EXPECT_EQ(t.expires.seconds, 11);
  EXPECT_EQ(t.expires.microseconds, 699000);
  t.clear();
}

TEST_F(Timers, DelayIsNeverNegativeAndDropsTheSubMillisecondPart) {
  timeout t;
  t.callback(0, record, tag(1), nullptr);
  timeval d = timeout::delay();
  EXPECT_EQ(d.tv_sec, 0);
  EXPECT_EQ(d.tv_usec, 0);

  t.callback(2000, record, tag(1), nullptr);
  t.expires.microseconds += 900;  // 2.0009 s away
  d = timeout::delay();
  EXPECT_EQ(d.tv_sec, 2);
  EXPECT_EQ(d.tv_usec, 0);
  EXPECT_EQ(t.remaining_ms(), 2000);
  EXPECT_EQ(t.remaining_seconds(), 2);

  sim::clock::advance_us(5000000);
  d = timeout::delay();
  EXPECT_EQ(d.tv_sec, 0);
  EXPECT_EQ(d.tv_usec, 0);
  EXPECT_EQ(t.remaining_ms(), -3000);  // the microsecond parts are subtracted apart
  EXPECT_EQ(t.remaining_seconds(), -2);
  t.clear();
}

TEST_F(Timers, ExtremeDelaysKeepTheListInOrderOfExpiry) {
  at(1000, 500000);
  timeout far, soon, now, past;
  far.callback(INT32_MAX, record, tag(1), nullptr);
  soon.callback(1000, record, tag(2), nullptr);
  now.callback(0, record, tag(3), nullptr);
  past.callback(-600, record, tag(4), nullptr);  // due at once, like 0
  EXPECT_EQ(past.expires.seconds, 1000);
  EXPECT_EQ(past.expires.microseconds, 500000);
  EXPECT_EQ(far.remaining_ms(), INT32_MAX);
  EXPECT_EQ(far.remaining_seconds(), 2147484);

  timeout::next();
  timeout::next();
  EXPECT_EQ(ran, (std::vector<int>{3, 4}));
  timeval d = timeout::delay();
  EXPECT_EQ(d.tv_sec, 1);
  sim::clock::advance_us(1000000);
  timeout::next();
  EXPECT_EQ(ran, (std::vector<int>{3, 4, 2}));
  d = timeout::delay();
  EXPECT_EQ(d.tv_sec, (INT32_MAX - 1000) / 1000);
  EXPECT_EQ(d.tv_usec, (INT32_MAX - 1000) % 1000 * 1000);
  far.clear();
}

// A timer that re-arms itself until its count runs out.
struct repeating {
  timeout t;
  int left = 3;
  static void tick(void* self, void*) {
    auto* r = static_cast<repeating*>(self);
    if (--r->left > 0) r->t.callback(100, tick, self, nullptr);
  }
};

TEST_F(Timers, AFunctionMayReArmItsOwnTimer) {
  repeating r;
  r.t.callback(100, repeating::tick, &r, nullptr);
  timeout::next();
  EXPECT_TRUE(r.t.armed());
  EXPECT_EQ(timeout::timeouts.count, 1);
  timeout::next();
  timeout::next();
  EXPECT_EQ(r.left, 0);
  EXPECT_FALSE(r.t.armed());
}

TEST_F(Timers, CopiesAreTimersOfTheirOwn) {
  timeout a;
  a.callback(100, record, tag(1), nullptr);
  timeout b(a);
  EXPECT_EQ(timeout::timeouts.count, 2);
  timeout c;
  c = a;
  c = c;
  EXPECT_EQ(timeout::timeouts.count, 3);
  a.clear();
  b.clear();
  timeout::next();
  EXPECT_EQ(ran, std::vector<int>{1});
  timeout idle;
  c.callback(1, record, tag(1), nullptr);
  c = idle;  // takes the idle state: leaves the list
  EXPECT_TRUE(timeout::empty());
}

size_t free_elements() {
  size_t n = 0;
  for (elem_timeoutp* e = elem_timeoutp::free_list; e != nullptr; e = e->next_elem) ++n;
  return n;
}

TEST_F(Timers, ListElementsComeFromBlocksOfSixteen) {
  timeout warm;  // makes sure the pool has been fed once
  warm.callback(1, record, tag(0), nullptr);
  warm.clear();

  size_t available = free_elements();
  ASSERT_GT(available, 0u);
  std::set<elem_timeoutp*> pooled;
  for (elem_timeoutp* e = elem_timeoutp::free_list; e != nullptr; e = e->next_elem)
    pooled.insert(e);

  std::vector<timeout> timers(available + 1);
  for (size_t i = 0; i < available; ++i) {
    timers[i].callback(static_cast<int>(i), record, tag(0), nullptr);
    EXPECT_TRUE(pooled.count(timers[i].position.elem)) << "taken from the pool, not the heap";
  }
  EXPECT_EQ(elem_timeoutp::free_list, nullptr);

  timers[available].callback(1, record, tag(0), nullptr);
  elem_timeoutp* fresh = timers[available].position.elem;
  EXPECT_FALSE(pooled.count(fresh));
  EXPECT_EQ(free_elements(), 15u) << "one new block of 16, one element in use";
  for (elem_timeoutp* e = elem_timeoutp::free_list; e != nullptr; e = e->next_elem) {
    ptrdiff_t distance = e - fresh;
    EXPECT_TRUE(distance > -16 && distance < 16) << "the new elements form one block";
  }

  // Arming and disarming in turn never needs another block.
  for (int round = 0; round < 100; ++round) {
    timers[0].clear();
    timers[0].callback(round, record, tag(0), nullptr);
  }
  EXPECT_EQ(free_elements(), 15u);
  for (auto& t : timers) t.clear();
}

// The event-loop contract as the program's loops follow it, over the
// simulated select: returns the number of timers run.
int loop_pass() {
  fd_set r;
  FD_ZERO(&r);
  int result;
  if (timeout::empty()) return -1;  // would wait for input for ever
  timeval d = timeout::delay();
  if (d.tv_sec == 0 && d.tv_usec == 0) {
    result = 0;
  } else {
    result = select(0, &r, nullptr, nullptr, &d);
  }
  if (result == 0 && !timeout::empty()) {
    timeout::next();
    return 1;
  }
  return 0;
}

TEST_F(Timers, TheLoopContractRunsOneTimerPerPass) {
  timeout a, b, c;
  a.callback(1000, record, tag(1), nullptr);
  b.callback(1000, record, tag(2), nullptr);
  c.callback(3000, record, tag(3), nullptr);
  int64_t start = sim::clock::now_us();

  EXPECT_EQ(loop_pass(), 1);  // waits one second, runs a
  EXPECT_EQ(ran, std::vector<int>{1});
  EXPECT_EQ(loop_pass(), 1);  // b is due: no wait
  EXPECT_EQ(ran, (std::vector<int>{1, 2}));
  EXPECT_EQ(sim::clock::now_us() - start, 1000000);
  EXPECT_EQ(loop_pass(), 1);
  EXPECT_EQ(sim::clock::now_us() - start, 3000000);
  EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(loop_pass(), -1);
}

}  // namespace
