// A restart ends the run at once: what the program had buffered in stdio but
// not written is lost, as on the phone.
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/reboot.h>

#include "sim/seam/child_test.h"
#include "sim/models/transcript_format.h"

TEST(SimRestart, BufferedOutputIsLostAndOnlyWrittenOutputArrives) {
  sim_test::ended e = sim_test::run_child(1, [] {
    setvbuf(stdout, nullptr, _IOFBF, BUFSIZ);  // as for any pipe
    printf("written\n");
    fflush(stdout);
    printf("buffered\n");
    reboot(RB_AUTOBOOT);
  });
  EXPECT_EQ(e.status, transcript_format::status::restart);
  EXPECT_EQ(e.written, "written\n");
}
