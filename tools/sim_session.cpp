#include "tools/sim_session.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tools/sim_view.h"

extern char** environ;

namespace ruk_sim {

namespace {

constexpr int keys_fd = 3;
constexpr int transcript_fd = 4;
constexpr int dots_fd = 5;
constexpr int restart_status = 99;
constexpr int device_fault_status = 97;  // sim/seam/run_end.h
constexpr size_t max_events = 500;

// Signals arrive as bytes on this pipe, so that the loop's poll sees them.
int signal_pipe[2] = {-1, -1};

void on_signal(int signal_number) {
  int saved = errno;
  char c = static_cast<char>(signal_number);
  ssize_t ignored = write(signal_pipe[1], &c, 1);
  (void)ignored;
  errno = saved;
}

int64_t now_ms() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

void write_all(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

// Lines of a byte stream, the last partial one kept until it is complete.
class line_splitter {
 public:
  std::vector<std::string> add(const char* data, size_t n) {
    pending_.append(data, n);
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = pending_.find('\n', start)) != std::string::npos; start = end + 1) {
      lines.push_back(pending_.substr(start, end - start));
    }
    pending_.erase(0, start);
    return lines;
  }
  // What is left at the end of the stream.
  std::string rest() {
    std::string r;
    r.swap(pending_);
    return r;
  }

 private:
  std::string pending_;
};

// The terminal in raw mode for the keyboard, restored however the session
// ends.
class raw_terminal {
 public:
  bool enter() {
    if (tcgetattr(0, &saved_) != 0) return false;
    termios raw = saved_;
    raw.c_lflag &= ~(ICANON | ECHO | ISIG | IEXTEN);
    raw.c_iflag &= ~(IXON | ICRNL);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    active_ = tcsetattr(0, TCSAFLUSH, &raw) == 0;
    return active_;
  }
  void leave() {
    if (active_) tcsetattr(0, TCSAFLUSH, &saved_);
    active_ = false;
  }
  ~raw_terminal() { leave(); }

 private:
  termios saved_{};
  bool active_ = false;
};

// One start of the program: its process and the pipes it talks through.
struct child {
  pid_t pid = -1;
  int keys = -1;        // write end: typed keys
  int transcript = -1;  // read ends
  int dots = -1;
  int output = -1;
  bool exited = false;
  int status = -1;  // the exit status, or 128 + signal
};

void close_fd(int* fd) {
  if (*fd >= 0) close(*fd);
  *fd = -1;
}

class session {
 public:
  session(const options& o, const console& c) : o_(o), c_(c), printed_(o.verbose ? SIZE_MAX : 40) {}
  int run();

 private:
  bool start(bool with_script, std::string* error);
  void pump(int64_t deadline_ms);
  void on_readable(int* fd);
  void on_keyboard();
  void on_signal_byte();
  void stop_child(int signal_number);
  void reap(bool wait);
  void transcript_line(const std::string& line);
  // One line for the log; screen_top is the top row of a screen's line.
  void event(const std::string& text, const std::string& screen_top = "");
  void end_of_log();
  void say(const std::string& text);
  void redraw();
  void terminal_size();
  std::string outcome() const;
  bool wait_for_choice();

  const options& o_;
  console c_;
  child ch_;
  raw_terminal terminal_;
  FILE* transcript_file_ = nullptr;
  line_splitter transcript_lines_;
  line_splitter output_lines_;
  frame_reader frames_;
  screen_runs printed_;
  view view_;
  int runs_ = 0;
  bool restarted_ = false;
  std::string restart_text_;
  bool leave_ = false;  // the person asked to leave
  bool again_ = false;  // the person asked for another run
  bool timed_out_ = false;
  bool resized_ = false;
};

}  // namespace

std::vector<std::string> program_environment(const options& o, const console& c, bool with_script,
                                             char** from) {
  std::vector<std::string> env;
  bool timing_set = false;
  for (char** e = from; *e != nullptr; e++) {
    std::string var = *e;
    // Settings that ruk-sim decides are not taken from its own environment.
    static const char* const own[] = {
        "RUK_SIM_KEYS=",    "RUK_SIM_KEYS_FD=",   "RUK_SIM_TRANSCRIPT=", "RUK_SIM_LCD_DOTS=",
        "RUK_SIM_LCD_PNG=", "RUK_SIM_FLASH_DIR=", "RUK_SAFE_NET="};
    bool ours = false;
    for (const char* prefix : own) ours = ours || var.compare(0, strlen(prefix), prefix) == 0;
    if (!ours) env.push_back(var);
    timing_set = timing_set || var.compare(0, 21, "RUK_SIM_FLASH_TIMING=") == 0;
  }
  env.push_back("RUK_SIM_FLASH_DIR=" + o.state_dir);
  env.push_back("RUK_SIM_TRANSCRIPT=/dev/fd/" + std::to_string(transcript_fd));
  if (c.draw) env.push_back("RUK_SIM_LCD_DOTS=/dev/fd/" + std::to_string(dots_fd));
  if (!o.png.empty()) env.push_back("RUK_SIM_LCD_PNG=" + o.png);
  if (c.keyboard) env.push_back("RUK_SIM_KEYS_FD=" + std::to_string(keys_fd));
  if (c.keyboard && !timing_set) env.push_back("RUK_SIM_FLASH_TIMING=nor");
  if (with_script) env.push_back("RUK_SIM_KEYS=" + o.keys);
  env.push_back(std::string("RUK_SAFE_NET=") + (o.host_network ? "host" : "own"));
  return env;
}

namespace {

bool session::start(bool with_script, std::string* error) {
  int keys[2] = {-1, -1}, transcript[2], dots[2] = {-1, -1}, output[2];
  if ((c_.keyboard && pipe2(keys, O_CLOEXEC) != 0) || pipe2(transcript, O_CLOEXEC) != 0 ||
      (c_.draw && pipe2(dots, O_CLOEXEC) != 0) || pipe2(output, O_CLOEXEC) != 0) {
    *error = std::string("cannot make the pipes to the program: ") + strerror(errno);
    return false;
  }

  std::vector<std::string> env = program_environment(o_, c_, with_script, environ);

  std::vector<std::string> argv = {o_.safe_run, o_.program};
  argv.insert(argv.end(), o_.program_args.begin(), o_.program_args.end());
  std::vector<char*> argp, envp;
  for (auto& a : argv) argp.push_back(&a[0]);
  argp.push_back(nullptr);
  for (auto& e : env) envp.push_back(&e[0]);
  envp.push_back(nullptr);

  fflush(stdout);
  pid_t pid = fork();
  if (pid < 0) {
    *error = std::string("cannot start the program: ") + strerror(errno);
    return false;
  }
  if (pid == 0) {
    setpgid(0, 0);
    signal(SIGPIPE, SIG_DFL);
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    signal(SIGHUP, SIG_DFL);
    // Moved above the numbers they go to before going there, so that no
    // dup2 overwrites a descriptor still to be moved.
    int high_keys = keys[0] >= 0 ? fcntl(keys[0], F_DUPFD, 10) : -1;
    int high_transcript = fcntl(transcript[1], F_DUPFD, 10);
    int high_dots = dots[1] >= 0 ? fcntl(dots[1], F_DUPFD, 10) : -1;
    int high_output = fcntl(output[1], F_DUPFD, 10);
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
  setpgid(pid, pid);
  ch_ = child();
  ch_.pid = pid;
  ch_.keys = keys[1];
  ch_.transcript = transcript[0];
  ch_.dots = dots[0];
  ch_.output = output[0];
  close_fd(&keys[0]);
  close(transcript[1]);
  close_fd(&dots[1]);
  close(output[1]);
  return true;
}

void session::reap(bool wait) {
  if (ch_.exited || ch_.pid < 0) return;
  int status = 0;
  pid_t got = waitpid(ch_.pid, &status, wait ? 0 : WNOHANG);
  if (got != ch_.pid) return;
  ch_.exited = true;
  ch_.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  close_fd(&ch_.keys);
}

void session::stop_child(int signal_number) {
  if (!ch_.exited && ch_.pid > 0) kill(-ch_.pid, signal_number);
}

void session::event(const std::string& text, const std::string& screen_top) {
  if (c_.draw) {
    view_.events.push_back(text);
    while (view_.events.size() > max_events) view_.events.pop_front();
  } else {
    for (const std::string& line : printed_.add(text, screen_top)) write_all(1, line + "\n");
  }
}

void session::end_of_log() {
  for (const std::string& line : printed_.finish()) write_all(1, line + "\n");
}

// A line of ruk-sim's own about the session, in the log or on its own.
void session::say(const std::string& text) {
  event("ruk-sim: " + text);
}

void session::transcript_line(const std::string& line) {
  if (transcript_file_ != nullptr) {
    fputs((line + "\n").c_str(), transcript_file_);
    fflush(transcript_file_);
  }
  size_t tab1 = line.find('\t');
  size_t tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
  std::string kind = tab2 == std::string::npos ? "" : line.substr(tab1 + 1, tab2 - tab1 - 1);
  if (kind == "restart" && line.find("refused") == std::string::npos) {
    restarted_ = true;
    restart_text_ = line.substr(tab2 + 1);
  }
  // The panel shows the screens; the log has the rest.
  if (c_.draw && kind == "screen") return;
  std::string text;
  if (event_line(line, o_.verbose, &text)) {
    event(text, kind == "screen" ? top_row(line.substr(tab2 + 1)) : "");
  }
}

void session::terminal_size() {
  winsize ws{};
  if (ioctl(1, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 && ws.ws_row > 0) {
    c_.width = ws.ws_col;
    c_.height = ws.ws_row;
  }
}

void session::redraw() {
  if (!c_.draw) return;
  if (resized_) {
    terminal_size();
    write_all(1, "\x1b[2J");
    resized_ = false;
  }
  view_.frame = frames_.last();
  write_all(1, compose(view_, c_.width, c_.height));
}

std::string session::outcome() const {
  if (leave_ && ch_.status > 128) return "left ruk-sim while ruk was running";
  if (timed_out_) {
    return "the program was stopped after " + std::to_string(o_.timeout_seconds) + " s (--timeout)";
  }
  if (restarted_) return "the phone restarts (reboot " + restart_text_ + ")";
  if (ch_.status == 98) return "the program refused a simulator setting (status 98)";
  if (ch_.status == device_fault_status) {
    return "the program broke a device's rules (status 97, the fault is in the log)";
  }
  if (ch_.status > 128 && ch_.status < 160) {
    return "the program was ended by signal " + std::to_string(ch_.status - 128);
  }
  return "ruk ended with status " + std::to_string(ch_.status);
}

void session::on_signal_byte() {
  char buffer[64];
  ssize_t n = read(signal_pipe[0], buffer, sizeof buffer);
  for (ssize_t i = 0; i < n; i++) {
    int s = buffer[i];
    if (s == SIGCHLD) reap(false);
    if (s == SIGWINCH) resized_ = true;
    if (s == SIGINT || s == SIGTERM || s == SIGHUP) leave_ = true;
  }
}

void session::on_keyboard() {
  char buffer[256];
  ssize_t n = read(0, buffer, sizeof buffer);
  if (n <= 0) {
    leave_ = true;
    return;
  }
  for (const terminal_key& k : decode_terminal_input(std::string(buffer, n))) {
    if (k.action == key_action::leave) {
      leave_ = true;
    } else if (k.action == key_action::keypad && ch_.exited) {
      // Between runs: Enter starts the phone again, q leaves.
      if (k.keypad == 'h') again_ = true;
      if (k.keypad == 'g') leave_ = true;
    } else if (k.action == key_action::keypad && ch_.keys >= 0) {
      ssize_t written = write(ch_.keys, &k.keypad, 1);
      if (written != 1) close_fd(&ch_.keys);
    }
  }
}

void session::on_readable(int* fd) {
  char buffer[65536];
  ssize_t n = read(*fd, buffer, sizeof buffer);
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
  if (n <= 0) {
    if (fd == &ch_.output) {
      std::string rest = output_lines_.rest();
      if (!rest.empty()) event("          ruk     " + rest);
    }
    if (fd == &ch_.transcript) {
      std::string rest = transcript_lines_.rest();
      if (!rest.empty()) transcript_line(rest);
    }
    close_fd(fd);
    return;
  }
  if (fd == &ch_.output) {
    for (const std::string& line : output_lines_.add(buffer, n)) event("          ruk     " + line);
  } else if (fd == &ch_.transcript) {
    for (const std::string& line : transcript_lines_.add(buffer, n)) transcript_line(line);
  } else if (fd == &ch_.dots) {
    frames_.add(buffer, n);
  }
}

// Serves the child until it has ended and said everything, or the person
// leaves, or the deadline (0 for none) passes.
void session::pump(int64_t deadline_ms) {
  int64_t kill_at = 0;
  while (!ch_.exited || ch_.transcript >= 0 || ch_.dots >= 0 || ch_.output >= 0) {
    if (leave_ && !ch_.exited && kill_at == 0) {
      stop_child(SIGTERM);
      kill_at = now_ms() + 2000;
    }
    if (deadline_ms != 0 && now_ms() >= deadline_ms && !ch_.exited && kill_at == 0) {
      timed_out_ = true;
      stop_child(SIGTERM);
      kill_at = now_ms() + 2000;
    }
    if (kill_at != 0 && now_ms() >= kill_at) stop_child(SIGKILL);

    std::vector<pollfd> fds;
    std::vector<int*> owners;
    auto watch = [&](int* fd) {
      if (*fd < 0) return;
      fds.push_back({*fd, POLLIN, 0});
      owners.push_back(fd);
    };
    int keyboard = c_.keyboard ? 0 : -1;
    watch(&signal_pipe[0]);
    watch(&keyboard);
    watch(&ch_.transcript);
    watch(&ch_.dots);
    watch(&ch_.output);
    int wait_ms = 1000;
    if (deadline_ms != 0 && !timed_out_) {
      wait_ms = static_cast<int>(
          std::max<int64_t>(0, std::min<int64_t>(wait_ms, deadline_ms - now_ms())));
    }
    int n = poll(fds.data(), fds.size(), wait_ms);
    if (n < 0 && errno != EINTR) break;
    for (size_t i = 0; n > 0 && i < fds.size(); i++) {
      if (fds[i].revents == 0) continue;
      if (owners[i] == &signal_pipe[0]) {
        on_signal_byte();
      } else if (owners[i] == &keyboard) {
        on_keyboard();
      } else {
        on_readable(owners[i]);
      }
    }
    reap(false);
    redraw();
  }
  reap(true);
}

// After a run, in an interactive session: true when the person asks for
// another run, false when they leave.
bool session::wait_for_choice() {
  again_ = false;
  while (!again_ && !leave_) {
    pollfd fds[2] = {{signal_pipe[0], POLLIN, 0}, {0, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0 && errno != EINTR) return false;
    if (fds[0].revents != 0) on_signal_byte();
    if (fds[1].revents != 0) on_keyboard();
    redraw();
  }
  return again_ && !leave_;
}

int session::run() {
  if (!o_.transcript.empty()) {
    transcript_file_ = fopen(o_.transcript.c_str(), "w");
    if (transcript_file_ == nullptr) {
      fprintf(stderr, "ruk-sim: cannot write %s: %s\n", o_.transcript.c_str(), strerror(errno));
      return exit_usage;
    }
  }
  if (pipe2(signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    fprintf(stderr, "ruk-sim: cannot make a pipe: %s\n", strerror(errno));
    return exit_usage;
  }
  struct sigaction sa {};
  sa.sa_handler = on_signal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  for (int s : {SIGCHLD, SIGWINCH, SIGINT, SIGTERM, SIGHUP}) sigaction(s, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  if (c_.keyboard && !terminal_.enter()) {
    fprintf(stderr, "ruk-sim: cannot put the terminal into raw mode: %s\n", strerror(errno));
    return exit_usage;
  }
  if (c_.draw) {
    terminal_size();
    write_all(1, "\x1b[?25l\x1b[2J");
    view_.title = "ruk-sim: the phone's LCD, 132 x 17    flash: " + o_.state_dir;
    view_.legend = c_.keyboard ? key_legend(c_.width)
                               : std::vector<std::string>{"keys from the script: " + o_.keys,
                                                          "Ctrl-C leaves ruk-sim"};
  } else {
    write_all(1, "ruk-sim: flash partitions in " + o_.state_dir +
                     (o_.scripted ? "; keys: " + o_.keys : "") + "\n");
  }

  int status = exit_usage;
  for (;;) {
    runs_++;
    restarted_ = false;
    timed_out_ = false;
    frames_ = frame_reader();
    std::string error;
    if (!start(o_.scripted && runs_ == 1, &error)) {
      say(error);
      break;
    }
    view_.status =
        runs_ == 1 ? "ruk is running" : "ruk is running (start " + std::to_string(runs_) + ")";
    redraw();
    int64_t deadline = o_.timeout_seconds > 0 ? now_ms() + o_.timeout_seconds * 1000LL : 0;
    pump(deadline);
    end_of_log();
    if (frames_.fault() != "") say("the panel's pixels came garbled: " + frames_.fault());
    status = timed_out_ ? exit_timeout : leave_ ? exit_left : ch_.status;
    if (restarted_ && !timed_out_) status = restart_status;
    say(outcome());
    if (!c_.keyboard || leave_) {
      view_.status = outcome();
      redraw();
      break;
    }
    view_.status = outcome() +
                   (restarted_ ? ".  Enter: start the phone again (flash kept)"
                               : ".  Enter: start ruk again") +
                   "   Esc: leave";
    redraw();
    if (!wait_for_choice()) break;
  }

  if (c_.draw) write_all(1, "\r\n\x1b[?25h");
  terminal_.leave();
  if (transcript_file_ != nullptr) fclose(transcript_file_);
  return status;
}

}  // namespace

bool choose_console(const options& opts, console* c, std::string* error) {
  const char* term = getenv("TERM");
  bool can_draw = isatty(1) && term != nullptr && *term != 0 && strcmp(term, "dumb") != 0;
  if (!opts.scripted) {
    if (!isatty(0)) {
      *error =
          "standard input is not a terminal, so the keyboard cannot be the keypad; run "
          "ruk-sim in a terminal, or give a key script with --keys";
      return false;
    }
    if (!can_draw) {
      *error = isatty(1) ? "the terminal (TERM=" + std::string(term != nullptr ? term : "") +
                               ") cannot draw the panel; run ruk-sim in a terminal that can, "
                               "or give a key script with --keys"
                         : "standard output is not a terminal, so the panel cannot be drawn; "
                           "run ruk-sim in a terminal, or give a key script with --keys";
      return false;
    }
  }
  c->draw = can_draw;
  c->keyboard = !opts.scripted;
  c->width = 80;
  c->height = 24;
  return true;
}

int run_session(const options& opts, const console& c) {
  session s(opts, c);
  return s.run();
}

}  // namespace ruk_sim
