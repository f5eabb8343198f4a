#include "lib/time_stamp_text.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <string>

#include "lib/ctimestamp.h"
#include "sim/seam/clock.h"
#include "tests/str_text.h"

TEST(TimeStampText, LocalTimeWithAndWithoutHundredths) {
  ctimestamp::now();
  setenv("TZ", "UTC", 1);
  tzset();
  sim::clock::use_virtual(true);
  sim::clock::warp_us(int64_t{1009152000} * 1000000 + 3 * 3600000000LL + 987654);
  str plain = time_stamp_text(false);
  str fine = time_stamp_text(true);
  sim::clock::use_virtual(false);
  EXPECT_EQ(text(plain), "20011224030000");
  EXPECT_EQ(text(fine), "2001122403000098");
  EXPECT_EQ(sim::clock::set_calls(), 1) << "reading the time stamp never sets the clock";
}
