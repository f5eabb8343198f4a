#include "tools/sim_session.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sim/models/transcript_format.h"
#include "tools/program_start.h"
#include "tools/terminal_keys.h"

namespace ruk_sim {

namespace {

namespace status = transcript_format::status;

// Signals arrive as bytes on this pipe, so that the loop's poll sees them.
int signal_pipe[2] = {-1, -1};

void on_signal(int signal_number) {
  int saved = errno;
  char c = static_cast<char>(signal_number);
  ssize_t ignored = write(signal_pipe[1], &c, 1);
  (void)ignored;
  errno = saved;
}

bool catch_signals() {
  if (pipe2(signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  struct sigaction sa {};
  sa.sa_handler = on_signal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  // SIGWINCH only wakes the loop: the console asks the size at each redraw.
  for (int s : {SIGCHLD, SIGWINCH, SIGINT, SIGTERM, SIGHUP}) sigaction(s, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);
  return true;
}

int64_t now_ms() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

class session {
 public:
  session(const options& o, const console_mode& c) : o_(o), mode_(c), console_(c, o.verbose) {}
  int run();

 private:
  void begin();
  void pump(int64_t deadline_ms);
  void on_readable(int* fd);
  void on_keyboard();
  void on_signal_byte();
  void transcript_line(const std::string& line);
  void say(const std::string& text);
  std::string outcome() const;
  bool wait_for_choice();

  const options& o_;
  const console_mode mode_;
  console console_;
  child ch_;
  FILE* transcript_file_ = nullptr;
  line_splitter transcript_lines_;
  line_splitter output_lines_;
  int runs_ = 0;
  bool restarted_ = false;
  std::string restart_text_;
  bool leave_ = false;  // the person asked to leave
  bool again_ = false;  // the person asked for another run
  bool timed_out_ = false;
};

int session::run() {
  if (!o_.transcript.empty()) {
    transcript_file_ = fopen(o_.transcript.c_str(), "w");
    if (transcript_file_ == nullptr) {
      fprintf(stderr, "ruk-sim: cannot write %s: %s\n", o_.transcript.c_str(), strerror(errno));
      return exit_usage;
    }
  }
  if (!catch_signals()) {
    fprintf(stderr, "ruk-sim: cannot make a pipe: %s\n", strerror(errno));
    return exit_usage;
  }
  if (mode_.keyboard && !console_.take_keyboard()) {
    fprintf(stderr, "ruk-sim: cannot put the terminal into raw mode: %s\n", strerror(errno));
    return exit_usage;
  }
  begin();

  int exit_status = exit_usage;
  for (;;) {
    runs_++;
    restarted_ = false;
    timed_out_ = false;
    console_.new_panel();
    std::string error;
    if (!ch_.start(o_, mode_, o_.scripted && runs_ == 1, &error)) {
      say(error);
      break;
    }
    console_.status(runs_ == 1 ? "ruk is running"
                               : "ruk is running (start " + std::to_string(runs_) + ")");
    console_.redraw();
    int64_t deadline = o_.timeout_seconds > 0 ? now_ms() + o_.timeout_seconds * 1000LL : 0;
    pump(deadline);
    console_.end_of_log();
    if (console_.frames().fault() != "") {
      say("the panel's pixels came garbled: " + console_.frames().fault());
    }
    exit_status = timed_out_ ? exit_timeout : leave_ ? exit_left : ch_.status;
    if (restarted_ && !timed_out_) exit_status = status::restart;
    std::string ended = outcome();
    say(ended);
    if (!mode_.keyboard || leave_) {
      console_.status(ended);  // finish() draws the last picture
      break;
    }
    console_.status(ended +
                    (restarted_ ? ".  Enter: start the phone again (flash kept)"
                                : ".  Enter: start ruk again") +
                    "   Esc: leave");
    console_.redraw();
    if (!wait_for_choice()) break;
  }

  console_.finish();
  if (transcript_file_ != nullptr) fclose(transcript_file_);
  return exit_status;
}

// The picture's fixed lines, or the line that starts a printed log.
void session::begin() {
  if (!mode_.draw) {
    write_all(1, "ruk-sim: flash partitions in " + o_.state_dir +
                     (o_.scripted ? "; keys: " + o_.keys : "") + "\n");
    return;
  }
  console_.begin("ruk-sim: the phone's LCD, 132 x 17    flash: " + o_.state_dir);
  console_.legend(mode_.keyboard ? key_legend(console_.width())
                                 : std::vector<std::string>{"keys from the script: " + o_.keys,
                                                            "Ctrl-C leaves ruk-sim"});
}

// Serves the child until it has ended and said everything, or the person
// leaves, or the deadline (0 for none) passes.
void session::pump(int64_t deadline_ms) {
  int64_t kill_at = 0;
  while (!ch_.exited || ch_.transcript >= 0 || ch_.dots >= 0 || ch_.output >= 0) {
    if (leave_ && !ch_.exited && kill_at == 0) {
      ch_.signal_group(SIGTERM);
      kill_at = now_ms() + 2000;
    }
    if (deadline_ms != 0 && now_ms() >= deadline_ms && !ch_.exited && kill_at == 0) {
      timed_out_ = true;
      ch_.signal_group(SIGTERM);
      kill_at = now_ms() + 2000;
    }
    if (kill_at != 0 && now_ms() >= kill_at) ch_.signal_group(SIGKILL);

    std::vector<pollfd> fds;
    std::vector<int*> owners;
    auto watch = [&](int* fd) {
      if (*fd < 0) return;
      fds.push_back({*fd, POLLIN, 0});
      owners.push_back(fd);
    };
    int keyboard = mode_.keyboard ? 0 : -1;
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
    ch_.reap(false);
    console_.redraw();
  }
  ch_.reap(true);
}

void session::on_signal_byte() {
  char buffer[64];
  ssize_t n = read(signal_pipe[0], buffer, sizeof buffer);
  for (ssize_t i = 0; i < n; i++) {
    int s = buffer[i];
    if (s == SIGCHLD) ch_.reap(false);
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
      if (!rest.empty()) console_.event("          ruk     " + rest);
    }
    if (fd == &ch_.transcript) {
      std::string rest = transcript_lines_.rest();
      if (!rest.empty()) transcript_line(rest);
    }
    close_fd(fd);
    return;
  }
  if (fd == &ch_.output) {
    for (const std::string& line : output_lines_.add(buffer, n)) {
      console_.event("          ruk     " + line);
    }
  } else if (fd == &ch_.transcript) {
    for (const std::string& line : transcript_lines_.add(buffer, n)) transcript_line(line);
  } else if (fd == &ch_.dots) {
    console_.dots(buffer, n);
  }
}

// A line of the program's transcript: kept in the transcript file, watched
// for the restart, shown on the console.
void session::transcript_line(const std::string& line) {
  if (transcript_file_ != nullptr) {
    fputs((line + "\n").c_str(), transcript_file_);
    fflush(transcript_file_);
  }
  transcript_format::line l;
  if (!transcript_format::split(line, &l)) {
    console_.transcript_line(line);  // not a transcript line: the console shows it as it is
    return;
  }
  if (l.kind == transcript_format::kind::restart &&
      !transcript_format::is_refused_restart(l.text)) {
    restarted_ = true;
    restart_text_ = l.text;
  }
  console_.transcript_line(l);
}

// A line of ruk-sim's own about the session, in the log or on its own.
void session::say(const std::string& text) {
  console_.event("ruk-sim: " + text);
}

std::string session::outcome() const {
  if (leave_ && ch_.status > 128) return "left ruk-sim while ruk was running";
  if (timed_out_) {
    return "the program was stopped after " + std::to_string(o_.timeout_seconds) + " s (--timeout)";
  }
  if (restarted_) return "the phone restarts (reboot " + restart_text_ + ")";
  if (ch_.status == status::setting_error) {
    return "the program refused a simulator setting (status " +
           std::to_string(status::setting_error) + ")";
  }
  if (ch_.status == status::device_fault) {
    return "the program broke a device's rules (status " + std::to_string(status::device_fault) +
           ", the fault is in the log)";
  }
  if (ch_.status > 128 && ch_.status < 160) {
    return "the program was ended by signal " + std::to_string(ch_.status - 128);
  }
  return "ruk ended with status " + std::to_string(ch_.status);
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
    console_.redraw();
  }
  return again_ && !leave_;
}

}  // namespace

bool choose_console(const options& opts, console_mode* c, std::string* error) {
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

int run_session(const options& opts, const console_mode& c) {
  session s(opts, c);
  return s.run();
}

}  // namespace ruk_sim
