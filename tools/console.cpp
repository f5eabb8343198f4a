#include "tools/console.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace ruk_sim {

namespace {

// The events a drawn console keeps; a terminal shows far fewer.
constexpr size_t max_events = 500;

// The longest run of alike screens a log without a terminal prints whole.
constexpr size_t longest_screen_run = 40;

bool starts_with(const std::string& s, const char* prefix) {
  return s.compare(0, strlen(prefix), prefix) == 0;
}

}  // namespace

void write_all(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

bool event_line(const std::string& transcript_line, bool verbose, std::string* out) {
  transcript_format::line l;
  if (transcript_format::split(transcript_line, &l)) return event_line(l, verbose, out);
  *out = transcript_line;
  return true;
}

bool event_line(const transcript_format::line& l, bool verbose, std::string* out) {
  if (!verbose) {
    if (l.kind == transcript_format::kind::key && starts_with(l.text, "release")) return false;
    bool single_transfer = starts_with(l.text, "write ") || starts_with(l.text, "read ");
    if (l.kind == transcript_format::kind::flash && single_transfer &&
        l.text.find(" failed") == std::string::npos) {
      return false;
    }
  }
  char head[48];
  snprintf(head, sizeof head, "%8.3f  %-7s ", l.ms / 1000.0, l.kind.c_str());
  *out = head + l.text;
  return true;
}

std::string top_row(const std::string& screen_text) {
  std::string top, bottom;
  return transcript_format::split_screen(screen_text, &top, &bottom) ? top : "";
}

std::vector<std::string> screen_runs::add(const std::string& line, const std::string& top_row) {
  if (!top_row.empty() && top_row == top_) {
    run_.push_back(line);
    return {};
  }
  std::vector<std::string> out = finish();
  if (top_row.empty()) {
    out.push_back(line);
  } else {
    top_ = top_row;
    run_.push_back(line);
  }
  return out;
}

std::vector<std::string> screen_runs::finish() {
  std::vector<std::string> out;
  if (run_.size() <= longest_) {
    out = run_;
  } else {
    out.assign(run_.begin(), run_.begin() + 3);
    out.push_back("          ...     " + std::to_string(run_.size() - 6) +
                  " more screens like these");
    out.insert(out.end(), run_.end() - 3, run_.end());
  }
  run_.clear();
  top_.clear();
  return out;
}

console::console(const console_mode& mode, bool verbose)
    : mode_(mode), verbose_(verbose), printed_(verbose ? SIZE_MAX : longest_screen_run) {}

console::~console() {
  if (raw_) tcsetattr(0, TCSAFLUSH, &saved_terminal_);
}

bool console::take_keyboard() {
  if (tcgetattr(0, &saved_terminal_) != 0) return false;
  termios raw = saved_terminal_;
  raw.c_lflag &= ~(ICANON | ECHO | ISIG | IEXTEN);
  raw.c_iflag &= ~(IXON | ICRNL);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  raw_ = tcsetattr(0, TCSAFLUSH, &raw) == 0;
  return raw_;
}

void console::begin(const std::string& title) {
  view_.title = title;
  changed_ = true;
  if (!mode_.draw) return;
  ask_size();
  write_all(1, "\x1b[?25l\x1b[2J");
}

void console::legend(const std::vector<std::string>& lines) {
  view_.legend = lines;
  changed_ = true;
}

void console::transcript_line(const std::string& line) {
  transcript_format::line l;
  if (transcript_format::split(line, &l)) {
    transcript_line(l);
  } else {
    event(line);  // not a transcript line: shown as it is
  }
}

void console::transcript_line(const transcript_format::line& l) {
  bool screen = l.kind == transcript_format::kind::screen;
  if (mode_.draw && screen) return;  // the panel shows it
  std::string text;
  if (event_line(l, verbose_, &text)) event(text, screen ? top_row(l.text) : "");
}

void console::event(const std::string& text, const std::string& screen_top) {
  if (mode_.draw) {
    view_.events.push_back(text);
    while (view_.events.size() > max_events) view_.events.pop_front();
    changed_ = true;
  } else {
    for (const std::string& line : printed_.add(text, screen_top)) write_all(1, line + "\n");
  }
}

void console::dots(const char* data, size_t n) {
  if (frames_.add(data, n)) changed_ = true;
}

void console::new_panel() {
  frames_ = frame_reader();
  changed_ = true;
}

void console::status(const std::string& text) {
  view_.status = text;
  changed_ = true;
}

void console::end_of_log() {
  for (const std::string& line : printed_.finish()) write_all(1, line + "\n");
}

// The terminal's size, when it can be asked; true when it changed.
bool console::ask_size() {
  winsize ws{};
  if (ioctl(1, TIOCGWINSZ, &ws) != 0 || ws.ws_col == 0 || ws.ws_row == 0) return false;
  if (ws.ws_col == mode_.width && ws.ws_row == mode_.height) return false;
  mode_.width = ws.ws_col;
  mode_.height = ws.ws_row;
  return true;
}

void console::redraw() {
  if (!mode_.draw) return;
  if (ask_size()) {
    // The old picture's lines may have wrapped at the old width.
    write_all(1, "\x1b[2J");
    changed_ = true;
  }
  if (!changed_) return;
  changed_ = false;
  view_.frame = frames_.last();
  write_all(1, compose(view_, mode_.width, mode_.height));
}

void console::finish() {
  if (mode_.draw) {
    redraw();
    write_all(1, "\r\n\x1b[?25h");
  } else {
    end_of_log();
  }
  if (raw_) tcsetattr(0, TCSAFLUSH, &saved_terminal_);
  raw_ = false;
}

}  // namespace ruk_sim
