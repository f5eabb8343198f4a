// The process-wide objects are built in a fixed order whatever the order of
// the object files: a global of this file, built before main, already finds
// the string constants and the timer list ready.
#include <gtest/gtest.h>

#include <string>

#include "lib/init_order.h"
#include "lib/str.h"
#include "lib/timeout.h"
#include "tests/str_text.h"

namespace {

struct early_user {
  std::string seen_lws;
  std::string seen_crlf;
  bool armed = false;
  int listed = -1;
  timeout t;

  early_user() {
    seen_lws = text(str::lws);
    seen_crlf = text(str::crlf);
    t.callback(
        60000, [](void*, void*) {}, nullptr, nullptr);
    armed = t.armed();
    listed = timeout::timeouts.count;
    t.clear();
  }
};

// Built with the program's own priority for its last objects, and without one.
early_user app_level RUK_INIT(RUK_INIT_APP_OCTETS);
early_user plain;
str copy_of_space RUK_INIT(RUK_INIT_TFTP) = str::space;

TEST(StartUpOrder, GlobalsBuiltBeforeMainFindStringsAndTimersReady) {
  for (const early_user* u : {&app_level, &plain}) {
    EXPECT_EQ(u->seen_lws, " \t\r\n");
    EXPECT_EQ(u->seen_crlf, "\r\n");
    EXPECT_TRUE(u->armed);
    EXPECT_EQ(u->listed, 1);
  }
  EXPECT_TRUE(copy_of_space == " ");
  EXPECT_EQ(str::newline.length(), 1);
  EXPECT_EQ(str::empty.ref, nullptr);
}

}  // namespace
