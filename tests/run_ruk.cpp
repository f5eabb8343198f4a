#include "tests/run_ruk.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
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

[[noreturn]] void exec_child(const run_options& o, const std::string& transcript, int out,
                             int err) {
  setpgid(0, 0);
  if (o.close_stdin) {
    ::close(0);
  } else {
    int null = ::open("/dev/null", O_RDONLY);
    dup2(null, 0);
  }
  dup2(out, 1);
  if (o.stdout_unread) {
    int unread[2];
    // As a shell would start it: SIGPIPE as the default, which ends a
    // process that writes there.
    signal(SIGPIPE, SIG_DFL);
    if (pipe(unread) == 0) {
      ::close(unread[0]);
      dup2(unread[1], 1);
    }
  }
  dup2(err, 2);
  setenv("RUK_SIM_TRANSCRIPT", transcript.c_str(), 1);
  if (o.virtual_clock) setenv("RUK_SIM_CLOCK", "virtual", 1);
  if (!o.keys.empty()) setenv("RUK_SIM_KEYS", o.keys.c_str(), 1);
  for (const auto& kv : o.env) setenv(kv.first.c_str(), kv.second.c_str(), 1);

  std::vector<std::string> words;
  if (!o.netns.empty()) {
    setenv("RUK_SAFE_NET", "host", 1);  // the test's namespace instead of a new one
    words = {"ip", "netns", "exec", o.netns};
  }
  words.push_back(RUK_SAFE_RUN_PATH);
  // In a cross build the program runs under the build's emulator.
  const char* emulator = getenv("RUK_EMULATOR");
  std::istringstream emulator_words(emulator != nullptr ? emulator : "");
  for (std::string w; emulator_words >> w;) words.push_back(w);
  words.push_back(RUK_SIMULATED_PATH);
  for (const std::string& a : o.args) words.push_back(a);
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(&w[0]);
  argv.push_back(nullptr);
  execvp(argv[0], argv.data());
  perror("run_ruk: exec");
  _exit(127);
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
  int out[2], err[2];
  if (pipe(out) != 0 || pipe(err) != 0) return result;
  fflush(nullptr);
  pid_t child = fork();
  if (child == 0) exec_child(options, transcript, out[1], err[1]);
  ::close(out[1]);
  ::close(err[1]);

  double deadline = seconds_now() + options.limit_seconds;
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open_pipes = 2;
  bool killed = false;
  while (open_pipes > 0) {
    if (seconds_now() > deadline && !killed) {
      kill(-child, SIGKILL);
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

bool parse_screen(const std::string& text, screen* out) {
  std::string top, bottom;
  if (!transcript_format::split_screen(text, &top, &bottom)) return false;
  out->top = transcript_format::unquote_row(top);
  out->bottom = transcript_format::unquote_row(bottom);
  return true;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace ruk_test
