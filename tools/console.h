// The console of a run, shared by ruk-sim and ruk-vm-view: in a terminal,
// the panel drawn in place with the run's events below it; without one,
// each event printed as a line, long runs of alike screens shortened. It
// reads the run's transcript (sim/models/transcript_format.h) and the
// panel's frames, and owns the terminal's modes while it runs.
#pragma once

#include <stddef.h>
#include <termios.h>

#include <string>
#include <vector>

#include "sim/models/transcript_format.h"
#include "tools/panel_view.h"
#include "tools/terminal_text.h"

namespace ruk_sim {

// How a console meets the person.
struct console_mode {
  bool draw = false;      // draw the panel in the terminal on standard output
  bool keyboard = false;  // read the keyboard as the keypad (interactive)
  int width = 0;          // the terminal's size when it cannot be asked
  int height = 0;
};

// Writes all of text to fd, going on after a signal interrupts the write;
// gives up silently on any other failure (a closed terminal).
void write_all(int fd, const std::string& text);

// One transcript line "<ms>\t<kind>\t<text>" as a line for a person:
// "  12.345  screen   \"Update: 10%\" ...". Returns false for a line that is
// not worth a line of its own in a log without a terminal (key releases,
// single flash reads and writes) unless verbose. Anything that is not a
// transcript line is shown as it is.
bool event_line(const std::string& transcript_line, bool verbose, std::string* out);
// The same for a line already split.
bool event_line(const transcript_format::line& l, bool verbose, std::string* out);

// The top row of a transcript screen text ("\"tftp\" \"512\"" -> "tftp"),
// escapes left as they are; "" when the text is not a screen's.
std::string top_row(const std::string& screen_text);

// In a log without a terminal, a long run of screens with the same top row
// (the transfer's byte count, block by block) is shortened to its first and
// last three lines around one line that counts the rest.
class screen_runs {
 public:
  // longest: the longest run printed whole.
  explicit screen_runs(size_t longest) : longest_(longest) {}
  // Takes one line to print; top_row is the screen's top row, "" for a line
  // that is no screen. Returns the lines to print now.
  std::vector<std::string> add(const std::string& line, const std::string& top_row);
  // The lines still held, at the end of the log.
  std::vector<std::string> finish();

 private:
  size_t longest_;
  std::string top_;
  std::vector<std::string> run_;
};

// The console on standard output (and, with the keyboard, standard input).
// Drawing keeps the newest events in memory and draws the picture again
// when it changed; printing writes each event as it comes, holding only a
// run of alike screens. Copying is deleted: it owns the terminal's modes.
class console {
 public:
  // verbose: every transcript line is an event, and no run of screens is
  // shortened.
  console(const console_mode& mode, bool verbose);
  ~console();
  console(const console&) = delete;
  console& operator=(const console&) = delete;

  // Puts the terminal into raw mode, so that each key arrives as typed and
  // Ctrl-C is a key; false (errno set) when it cannot. finish() or the end
  // of the console restores the terminal.
  bool take_keyboard();
  // When drawing: asks the terminal's size, hides the cursor and clears
  // the screen. The title is the picture's first line.
  void begin(const std::string& title);
  // The lines under the status line: the keys, or what runs them.
  void legend(const std::vector<std::string>& lines);
  // The terminal's width, as last asked.
  int width() const { return mode_.width; }

  // One transcript line, without its newline: a screen is left to the panel
  // when drawing (its pixels come through dots()), the rest go to the log.
  void transcript_line(const std::string& line);
  // The same for a line already split.
  void transcript_line(const transcript_format::line& l);
  // A line of the log; screen_top as screen_runs::add takes it.
  void event(const std::string& text, const std::string& screen_top = "");
  // Bytes of the panel's frames.
  void dots(const char* data, size_t n);
  void dots(const std::string& data) { dots(data.data(), data.size()); }
  // A blank panel and no frames read, for a new start of the program.
  void new_panel();
  const frame_reader& frames() const { return frames_; }
  // The picture's status line.
  void status(const std::string& text);

  // When printing: the lines still held (a run of screens), at the end of a
  // run's log.
  void end_of_log();
  // When drawing: the picture again, if it or the terminal's size changed.
  void redraw();
  // The end: the last picture and the cursor back, or the held lines
  // printed; the terminal as it was.
  void finish();

 private:
  bool ask_size();

  console_mode mode_;
  bool verbose_;
  view view_;
  frame_reader frames_;
  screen_runs printed_;
  bool changed_ = true;
  termios saved_terminal_{};
  bool raw_ = false;
};

}  // namespace ruk_sim
