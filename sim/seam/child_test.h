// For tests of how a simulated process ends: runs body in a child process
// (forked, so with the models as they are) whose descriptor fd goes to a
// pipe, then ends the child through exit. Returns what the child wrote to
// fd, its exit status (-1 when it did not exit) and the signal that ended
// it (0 for none).
#pragma once

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

namespace sim_test {

struct ended {
  int status = -1;
  int signal = 0;
  std::string written;
};

inline ended run_child(int fd, const std::function<void()>& body) {
  ended e;
  int out[2];
  if (pipe(out) != 0) return e;
  fflush(nullptr);
  pid_t child = fork();
  if (child < 0) return e;
  if (child == 0) {
    dup2(out[1], fd);
    close(out[0]);
    close(out[1]);
    body();
    exit(0);
  }
  close(out[1]);
  char buffer[256];
  ssize_t n;
  while ((n = read(out[0], buffer, sizeof buffer)) > 0) e.written.append(buffer, n);
  close(out[0]);
  int status = 0;
  if (waitpid(child, &status, 0) == child) {
    if (WIFEXITED(status)) e.status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) e.signal = WTERMSIG(status);
  }
  return e;
}

}  // namespace sim_test
