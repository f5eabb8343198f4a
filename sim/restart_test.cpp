// A restart ends the run at once: what the program had buffered in stdio but
// not written is lost, as on the phone.
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/reboot.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "sim/restart.h"

TEST(SimRestart, BufferedOutputIsLostAndOnlyWrittenOutputArrives) {
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  fflush(nullptr);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    dup2(out[1], 1);
    close(out[0]);
    setvbuf(stdout, nullptr, _IOFBF, BUFSIZ);  // as for any pipe
    printf("written\n");
    fflush(stdout);
    printf("buffered\n");
    reboot(RB_AUTOBOOT);
    _exit(1);
  }
  close(out[1]);
  std::string got;
  char buffer[256];
  ssize_t n;
  while ((n = read(out[0], buffer, sizeof buffer)) > 0) got.append(buffer, n);
  close(out[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), sim::restart_exit_status);
  EXPECT_EQ(got, "written\n");
}
