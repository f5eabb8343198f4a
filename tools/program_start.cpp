#include "tools/program_start.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include "sim/seam/settings_table.h"

extern char** environ;

namespace ruk_sim {

namespace {

constexpr int keys_fd = 3;
constexpr int transcript_fd = 4;
constexpr int dots_fd = 5;

// A pipe that is made only when wanted; both ends -1 otherwise.
struct pipe_ends {
  int read = -1;
  int write = -1;
  bool make(bool wanted) {
    int ends[2];
    if (!wanted) return true;
    if (pipe2(ends, O_CLOEXEC) != 0) return false;
    read = ends[0];
    write = ends[1];
    return true;
  }
  void close_both() {
    close_fd(&read);
    close_fd(&write);
  }
};

// In the child: the pipes' ends at the numbers the settings name, and
// nothing else open. Each is first moved above those numbers, so that no
// dup2 overwrites a descriptor still to be moved.
[[noreturn]] void exec_child(const std::vector<char*>& argp, const std::vector<char*>& envp,
                             const pipe_ends& keys, const pipe_ends& transcript,
                             const pipe_ends& dots, const pipe_ends& output) {
  setpgid(0, 0);
  signal(SIGPIPE, SIG_DFL);
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  signal(SIGHUP, SIG_DFL);
  int high_keys = keys.read >= 0 ? fcntl(keys.read, F_DUPFD, 10) : -1;
  int high_transcript = fcntl(transcript.write, F_DUPFD, 10);
  int high_dots = dots.write >= 0 ? fcntl(dots.write, F_DUPFD, 10) : -1;
  int high_output = fcntl(output.write, F_DUPFD, 10);
  int null_fd = open("/dev/null", O_RDONLY);
  dup2(null_fd, 0);
  dup2(high_output, 1);
  dup2(high_output, 2);
  if (high_keys >= 0) dup2(high_keys, keys_fd);
  dup2(high_transcript, transcript_fd);
  if (high_dots >= 0) dup2(high_dots, dots_fd);
  for (int fd = 6; fd < 1024; fd++) close(fd);
  execve(argp[0], argp.data(), envp.data());
  dprintf(2, "ruk-sim: cannot run %s: %s\n", argp[0], strerror(errno));
  _exit(127);
}

// var ("NAME=value") assigns the variable name.
bool assigns(const std::string& var, const char* name) {
  size_t n = strlen(name);
  return var.compare(0, n, name) == 0 && var.size() > n && var[n] == '=';
}

bool assigns(const std::string& var, sim::setting s) {
  return assigns(var, sim::row_of(s).name);
}

// "NAME=value" for the setting s.
std::string assignment(sim::setting s, const std::string& value) {
  return std::string(sim::row_of(s).name) + "=" + value;
}

}  // namespace

void close_fd(int* fd) {
  if (*fd >= 0) close(*fd);
  *fd = -1;
}

std::vector<std::string> program_environment(const options& o, const console_mode& c,
                                             bool with_script, char** from) {
  using sim::setting;
  std::vector<std::string> env;
  bool timing_set = false;
  for (char** e = from; *e != nullptr; e++) {
    std::string var = *e;
    // Settings that ruk-sim decides are not taken from its own environment.
    static const setting own[] = {setting::keys,     setting::keys_fd, setting::transcript,
                                  setting::lcd_dots, setting::lcd_png, setting::flash_dir};
    bool ours = assigns(var, "RUK_SAFE_NET");
    for (setting s : own) ours = ours || assigns(var, s);
    if (!ours) env.push_back(var);
    timing_set = timing_set || assigns(var, setting::flash_timing);
  }
  env.push_back(assignment(setting::flash_dir, o.state_dir));
  env.push_back(assignment(setting::transcript, "/dev/fd/" + std::to_string(transcript_fd)));
  if (c.draw) env.push_back(assignment(setting::lcd_dots, "/dev/fd/" + std::to_string(dots_fd)));
  if (!o.png.empty()) env.push_back(assignment(setting::lcd_png, o.png));
  if (c.keyboard) env.push_back(assignment(setting::keys_fd, std::to_string(keys_fd)));
  if (c.keyboard && !timing_set) env.push_back(assignment(setting::flash_timing, "nor"));
  if (with_script) env.push_back(assignment(setting::keys, o.keys));
  env.push_back(std::string("RUK_SAFE_NET=") + (o.host_network ? "host" : "own"));
  return env;
}

bool child::start(const options& o, const console_mode& c, bool with_script, std::string* error) {
  pipe_ends keys_pipe, transcript_pipe, dots_pipe, output_pipe;
  if (!keys_pipe.make(c.keyboard) || !transcript_pipe.make(true) || !dots_pipe.make(c.draw) ||
      !output_pipe.make(true)) {
    *error = std::string("cannot make the pipes to the program: ") + strerror(errno);
    for (pipe_ends* p : {&keys_pipe, &transcript_pipe, &dots_pipe, &output_pipe}) p->close_both();
    return false;
  }

  std::vector<std::string> env = program_environment(o, c, with_script, environ);
  std::vector<std::string> argv = {o.safe_run, o.program};
  argv.insert(argv.end(), o.program_args.begin(), o.program_args.end());
  std::vector<char*> argp, envp;
  for (auto& a : argv) argp.push_back(&a[0]);
  argp.push_back(nullptr);
  for (auto& e : env) envp.push_back(&e[0]);
  envp.push_back(nullptr);

  fflush(stdout);
  pid_t started = fork();
  if (started == 0) exec_child(argp, envp, keys_pipe, transcript_pipe, dots_pipe, output_pipe);
  if (started < 0) {
    *error = std::string("cannot start the program: ") + strerror(errno);
    for (pipe_ends* p : {&keys_pipe, &transcript_pipe, &dots_pipe, &output_pipe}) p->close_both();
    return false;
  }
  // Also here, so that a signal to the group cannot come before the child
  // has made it.
  setpgid(started, started);
  *this = child();
  pid = started;
  keys = keys_pipe.write;
  transcript = transcript_pipe.read;
  dots = dots_pipe.read;
  output = output_pipe.read;
  close_fd(&keys_pipe.read);
  close_fd(&transcript_pipe.write);
  close_fd(&dots_pipe.write);
  close_fd(&output_pipe.write);
  return true;
}

void child::reap(bool wait) {
  if (exited || pid < 0) return;
  int raw = 0;
  if (waitpid(pid, &raw, wait ? 0 : WNOHANG) != pid) return;
  exited = true;
  status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  close_fd(&keys);
}

void child::signal_group(int signal_number) {
  if (!exited && pid > 0) kill(-pid, signal_number);
}

}  // namespace ruk_sim
