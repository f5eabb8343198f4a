#include <gtest/gtest.h>
#include <time.h>
#include <unistd.h>

#include "sim/seam/clock.h"

TEST(SimSleep, OnTheVirtualClockASleepMovesTheClockNotTheHost) {
  sim::clock::use_virtual(true);
  int64_t before = sim::clock::now_us();
  timespec host_before, host_after;
  clock_gettime(CLOCK_MONOTONIC, &host_before);
  EXPECT_EQ(sleep(5), 0u);
  clock_gettime(CLOCK_MONOTONIC, &host_after);
  EXPECT_EQ(sim::clock::now_us() - before, 5000000);
  EXPECT_LT(host_after.tv_sec - host_before.tv_sec, 2) << "no real pause";
  sim::clock::use_virtual(false);
}
