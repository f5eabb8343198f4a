#include "tests/run_ruk.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>

namespace ruk_test {
namespace {

std::string temp_transcript() {
  const char* dir = getenv("TMPDIR");
  std::string pattern =
      std::string(dir != nullptr && *dir != 0 ? dir : "/tmp") + "/ruk-transcript-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back(0);
  int fd = mkstemp(name.data());
  if (fd >= 0) ::close(fd);
  return name.data();
}

// The transcript's lines; anything in the file that is no transcript line
// is left out.
std::vector<transcript_line> read_transcript(const std::string& path) {
  std::vector<transcript_line> lines;
  std::ifstream in(path);
  std::string raw;
  transcript_line line;
  while (std::getline(in, raw)) {
    if (transcript_format::split(raw, &line)) lines.push_back(line);
  }
  return lines;
}

// Everything the child needs is made before the fork, and between fork and
// exec the child makes only system calls: the test's other threads (a TFTP
// peer, say) may hold a lock of the allocator or of the environment at the
// moment of the fork, and in the child nobody would ever release it. Nor may
// the child take the simulator's wrappers of open, close and write, which the
// test binary is linked with (they set the simulator up, and allocate); it
// calls the kernel directly.
struct child_plan {
  std::vector<std::string> words;    // the command line
  std::vector<std::string> assigns;  // the environment, NAME=value
  std::vector<char*> argv;
  std::vector<char*> envp;
};

void set_variable(std::vector<std::string>* assigns, const std::string& name,
                  const std::string& value) {
  for (std::string& a : *assigns) {
    if (a.compare(0, name.size() + 1, name + "=") == 0) {
      a = name + "=" + value;
      return;
    }
  }
  assigns->push_back(name + "=" + value);
}

void plan_child(const run_options& o, const std::string& transcript, child_plan* plan) {
  for (char** e = environ; *e != nullptr; ++e) plan->assigns.push_back(*e);
  set_variable(&plan->assigns, "RUK_SIM_TRANSCRIPT", transcript);
  if (o.virtual_clock) set_variable(&plan->assigns, "RUK_SIM_CLOCK", "virtual");
  if (!o.keys.empty()) set_variable(&plan->assigns, "RUK_SIM_KEYS", o.keys);
  for (const auto& kv : o.env) set_variable(&plan->assigns, kv.first, kv.second);

  std::vector<std::string>& words = plan->words;
  if (!o.netns.empty()) {
    // the test's namespace instead of a new one
    set_variable(&plan->assigns, "RUK_SAFE_NET", "host");
    words = {"ip", "netns", "exec", o.netns};
  }
  words.push_back(RUK_SAFE_RUN_PATH);
  // In a cross build the program runs under the build's emulator.
  const char* emulator = getenv("RUK_EMULATOR");
  std::istringstream emulator_words(emulator != nullptr ? emulator : "");
  for (std::string w; emulator_words >> w;) words.push_back(w);
  words.push_back(RUK_SIMULATED_PATH);
  for (const std::string& a : o.args) words.push_back(a);

  for (std::string& w : words) plan->argv.push_back(&w[0]);
  plan->argv.push_back(nullptr);
  for (std::string& a : plan->assigns) plan->envp.push_back(&a[0]);
  plan->envp.push_back(nullptr);
}

[[noreturn]] void exec_child(const run_options& o, const child_plan& plan, int out, int err) {
  setpgid(0, 0);
  if (o.close_stdin) {
    syscall(SYS_close, 0);
  } else {
    int null = static_cast<int>(syscall(SYS_openat, AT_FDCWD, "/dev/null", O_RDONLY));
    dup2(null, 0);
  }
  dup2(out, 1);
  if (o.stdout_unread) {
    int unread[2];
    // As a shell would start it: SIGPIPE as the default, which ends a
    // process that writes there.
    signal(SIGPIPE, SIG_DFL);
    if (pipe(unread) == 0) {
      syscall(SYS_close, unread[0]);
      dup2(unread[1], 1);
    }
  }
  dup2(err, 2);
  // The C library's search of PATH uses the stack only.
  execvpe(plan.argv[0], plan.argv.data(), plan.envp.data());
  static const char failed[] = "run_ruk: exec failed\n";
  syscall(SYS_write, 2, failed, sizeof failed - 1);
  _exit(127);
}

// A short file of /proc, empty when it is gone (its process ended meanwhile).
std::string proc_text(const std::string& path) {
  std::string text;
  if (FILE* f = fopen(path.c_str(), "r")) {
    char buffer[512];
    size_t n = fread(buffer, 1, sizeof buffer, f);
    text.assign(buffer, n);
    fclose(f);
  }
  return text;
}

// What the processes of a run's group are doing, for the message of a run
// killed at its limit: "ruk-simulated (S, wchan do_select)", one per process.
// A hang before the program even started then says so.
std::string describe_group(pid_t group) {
  std::string text;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return text;
  while (dirent* e = readdir(proc)) {
    if (e->d_name[0] < '1' || e->d_name[0] > '9') continue;  // not a process
    std::string dir = std::string("/proc/") + e->d_name;
    std::string stat = proc_text(dir + "/stat");
    size_t name_end = stat.rfind(')');
    if (name_end == std::string::npos) continue;
    char state = 0;
    int parent = 0, pgrp = 0;
    if (sscanf(stat.c_str() + name_end + 1, " %c %d %d", &state, &parent, &pgrp) != 3 ||
        pgrp != group) {
      continue;
    }
    size_t name_start = stat.find('(') + 1;
    text += (text.empty() ? "" : ", ") + stat.substr(name_start, name_end - name_start) + " (" +
            state + ", wchan " + proc_text(dir + "/wchan") + ")";
  }
  closedir(proc);
  return text;
}

// "\"To Update by TFTP:\" \"Press any key: 3\"" -> its two rows; false when
// the text is not two quoted rows.
bool parse_screen(const std::string& text, screen* out) {
  std::string top, bottom;
  if (!transcript_format::split_screen(text, &top, &bottom)) return false;
  out->top = transcript_format::unquote_row(top);
  out->bottom = transcript_format::unquote_row(bottom);
  return true;
}

double seconds_now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

}  // namespace

run_result run_ruk(const run_options& options) {
  run_result result;
  std::string transcript = temp_transcript();
  child_plan plan;
  plan_child(options, transcript, &plan);
  int out[2], err[2];
  if (pipe(out) != 0 || pipe(err) != 0) return result;
  fflush(nullptr);
  pid_t child = fork();
  if (child == 0) exec_child(options, plan, out[1], err[1]);
  ::close(out[1]);
  ::close(err[1]);

  double deadline = seconds_now() + options.limit_seconds;
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open_pipes = 2;
  bool killed = false;
  while (open_pipes > 0) {
    if (seconds_now() > deadline && !killed) {
      std::string doing = describe_group(child);
      kill(-child, SIGKILL);
      result.err += "run_ruk: killed after " + std::to_string(options.limit_seconds) +
                    " s, still running: " + doing + "\n";
      killed = true;
    }
    if (poll(fds, 2, 200) < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(n));
      } else {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open_pipes;
      }
    }
  }
  int raw = 0;
  waitpid(child, &raw, 0);
  if (WIFEXITED(raw)) result.status = WEXITSTATUS(raw);
  if (WIFSIGNALED(raw)) result.signal = WTERMSIG(raw);
  result.transcript = read_transcript(transcript);
  unlink(transcript.c_str());
  return result;
}

std::vector<std::string> run_result::lines(const std::string& kind) const {
  std::vector<std::string> texts;
  for (const transcript_line& t : transcript) {
    if (t.kind == kind) texts.push_back(t.text);
  }
  return texts;
}

std::vector<screen> run_result::screens() const {
  std::vector<screen> shown;
  for (const transcript_line& t : transcript) {
    screen s;
    if (t.kind == transcript_format::kind::screen && parse_screen(t.text, &s)) {
      s.ms = t.ms;
      shown.push_back(s);
    }
  }
  return shown;
}

bool run_result::flash_changed() const {
  for (const std::string& line : lines(transcript_format::kind::flash)) {
    if (line.rfind("erase ", 0) == 0 || line.rfind("write ", 0) == 0) return true;
  }
  return false;
}

std::string run_result::dump() const {
  std::string text = "status " + std::to_string(status) + ", signal " + std::to_string(signal) +
                     "\nstderr: " + err + "\ntranscript:\n";
  for (const transcript_line& t : transcript) {
    text += transcript_format::join(t.ms, t.kind, t.text) + "\n";
  }
  return text;
}


std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace ruk_test
