// ruk-vm-view: the emulated phone's panel and events, live, on the console
// that ruk-sim shows the simulated phone on (tools/console.h).
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
#include <unistd.h>

#include <string>

#include "tools/console.h"

namespace {

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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: ruk-vm-view TRANSCRIPT DOTS\n");
    return 2;
  }
  follower transcript(argv[1]);
  follower dots(argv[2]);
  ruk_sim::console_mode mode;
  mode.draw = isatty(1) != 0;
  mode.width = 134;  // when the terminal's size cannot be asked
  mode.height = 40;
  ruk_sim::console view(mode, false);
  view.begin("ruk on the emulated phone (QEMU Malta, big-endian MIPS): the LCD, 132 x 17");
  view.legend({"keys from the run's key script; the transcript on the guest's second serial port"});
  view.status("the emulated phone starts");

  ruk_sim::line_splitter transcript_lines, words;
  bool running = false;
  bool input_open = true;
  while (input_open) {
    pollfd in = {0, POLLIN, 0};
    std::string said;
    if (poll(&in, 1, 50) > 0) {
      char buffer[256];
      ssize_t n = read(0, buffer, sizeof buffer);
      if (n <= 0) input_open = false;
      if (n > 0) said.assign(buffer, static_cast<size_t>(n));
    }
    // Screens first, so that a status that ends the run comes after them.
    view.dots(dots.more());
    std::string data = transcript.more();
    if (!data.empty() && !running) {
      running = true;
      view.status("ruk is running on the emulated phone");
    }
    for (const std::string& line : transcript_lines.add(data)) view.transcript_line(line);
    for (const std::string& word : words.add(said)) {
      view.status(word);
      view.event("ruk-vm-view: " + word);
    }
    view.redraw();
  }
  view.finish();
  return 0;
}
