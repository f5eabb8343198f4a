// ruk-vm-view: the emulated phone's panel and events, live, as ruk-sim
// shows the simulated phone's (tools/sim_view.h does the drawing).
//
//   ruk-vm-view TRANSCRIPT DOTS
//
// Follows the two files that the guest's serial ports write as they grow:
// TRANSCRIPT, the run's transcript lines, and DOTS, every screen's pixels.
// Each line on standard input is a word on the run from the program that
// runs QEMU (shown as the status line); the end of standard input ends the
// view. In a terminal the panel is drawn and redrawn; otherwise each event
// is printed as a line.
#include <poll.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <string>

#include "tools/sim_view.h"

namespace {

constexpr size_t max_events = 500;

void write_all(const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(1, text.data() + done, text.size() - done);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

// A file read as it grows.
class follower {
 public:
  explicit follower(const char* path) : path_(path) {}
  // What was added since the last call.
  std::string more() {
    if (f_ == nullptr) f_ = fopen(path_, "r");
    if (f_ == nullptr) return "";
    std::string got;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f_)) > 0) got.append(buffer, n);
    clearerr(f_);
    return got;
  }

 private:
  const char* path_;
  FILE* f_ = nullptr;
};

class viewer {
 public:
  explicit viewer(bool draw) : draw_(draw) {
    view_.title = "ruk on the emulated phone (QEMU Malta, big-endian MIPS): the LCD, 132 x 17";
    view_.legend = {
        "keys from the run's key script; the transcript on the guest's second serial port"};
    view_.status = "the emulated phone starts";
    if (draw_) write_all("\x1b[?25l\x1b[2J");
  }

  void transcript(const std::string& data) {
    if (data.empty()) return;
    if (pending_.empty() && !running_) {
      running_ = true;
      view_.status = "ruk is running on the emulated phone";
    }
    changed_ = true;
    pending_ += data;
    size_t end;
    while ((end = pending_.find('\n')) != std::string::npos) {
      std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      size_t tab1 = line.find('\t');
      size_t tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
      bool screen =
          tab2 != std::string::npos && line.compare(tab1 + 1, tab2 - tab1 - 1, "screen") == 0;
      if (draw_ && screen) continue;  // the panel shows it
      std::string text;
      if (ruk_sim::event_line(line, false, &text))
        event(text, screen ? ruk_sim::top_row(line.substr(tab2 + 1)) : "");
    }
  }

  void dots(const std::string& data) {
    if (frames_.add(data.data(), data.size())) changed_ = true;
  }

  void status(const std::string& text) {
    view_.status = text;
    event("ruk-vm-view: " + text, "");
    changed_ = true;
  }

  // Draws the view again when something changed.
  void redraw() {
    if (!draw_ || !changed_) return;
    changed_ = false;
    winsize ws{};
    int width = 134, height = 40;
    if (ioctl(1, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 && ws.ws_row > 0) {
      width = ws.ws_col;
      height = ws.ws_row;
    }
    view_.frame = frames_.last();
    write_all(ruk_sim::compose(view_, width, height));
  }

  void finish() {
    if (draw_) {
      changed_ = true;
      redraw();
      write_all("\r\n\x1b[?25h");
    } else {
      for (const std::string& line : printed_.finish()) write_all(line + "\n");
    }
  }

 private:
  void event(const std::string& text, const std::string& screen_top) {
    if (draw_) {
      view_.events.push_back(text);
      while (view_.events.size() > max_events) view_.events.pop_front();
    } else {
      for (const std::string& line : printed_.add(text, screen_top)) write_all(line + "\n");
    }
  }

  bool draw_;
  bool changed_ = true;
  bool running_ = false;
  ruk_sim::view view_;
  ruk_sim::frame_reader frames_;
  ruk_sim::screen_runs printed_;
  std::string pending_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: ruk-vm-view TRANSCRIPT DOTS\n");
    return 2;
  }
  follower transcript(argv[1]);
  follower dots(argv[2]);
  viewer v(isatty(1) != 0);
  std::string words;
  bool input_open = true;
  while (input_open) {
    pollfd in = {0, POLLIN, 0};
    if (poll(&in, 1, 50) > 0) {
      char buffer[256];
      ssize_t n = read(0, buffer, sizeof buffer);
      if (n <= 0) input_open = false;
      if (n > 0) words.append(buffer, static_cast<size_t>(n));
    }
    // Screens first, so that a status that ends the run comes after them.
    v.dots(dots.more());
    v.transcript(transcript.more());
    size_t end;
    while ((end = words.find('\n')) != std::string::npos) {
      v.status(words.substr(0, end));
      words.erase(0, end + 1);
    }
    v.redraw();
  }
  v.finish();
  return 0;
}
