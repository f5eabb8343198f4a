// Simulator settings that cannot be used, end to end: the run stops before
// the program starts, with the setting error's status and a message that
// names the setting and what is wrong with it.
#include <gtest/gtest.h>

#include <string>

#include "tests/run_ruk.h"

namespace {

TEST(RukSettings, AnUnknownClockOrRebootOrAnUnwritableTranscriptStopsTheRun) {
  struct {
    const char* name;
    const char* value;
    const char* message;
  } cases[] = {
      {"RUK_SIM_CLOCK", "virtaul",
       "ruk-sim: RUK_SIM_CLOCK: \"virtaul\" is neither real nor virtual\n"},
      {"RUK_SIM_REBOOT", "never", "ruk-sim: RUK_SIM_REBOOT: \"never\" is neither restart nor fail\n"},
      {"RUK_SIM_TRANSCRIPT", "/nonexistent/transcript",
       "ruk-sim: RUK_SIM_TRANSCRIPT: cannot open /nonexistent/transcript for appending: No such "
       "file or directory\n"},
  };
  for (const auto& c : cases) {
    ruk_test::run_options o;
    o.env = {{c.name, c.value}};
    ruk_test::run_result r = ruk_test::run_ruk(o);
    EXPECT_EQ(r.status, transcript_format::status::setting_error) << c.name;
    EXPECT_EQ(r.err, c.message);
    EXPECT_EQ(r.out, "") << c.name << ": the program started";
  }
}

}  // namespace
