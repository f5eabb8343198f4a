// What ruk-sim shows: the panel drawn in a terminal, the keyboard read as the
// phone's keypad, and the run's events as lines of text. Pure functions of
// their input, so that tests compare whole pictures and lines.
#pragma once

#include <deque>
#include <string>
#include <vector>

namespace ruk_sim {

constexpr int lcd_columns = 132;
constexpr int lcd_rows = 17;
// The panel in a terminal: two pixel rows per character line, one pixel
// column per character column, which keeps the panel's proportions on a
// terminal whose cells are twice as high as wide.
constexpr int lcd_lines = (lcd_rows + 1) / 2;

// A frame of the panel: lcd_rows strings of lcd_columns characters, '#'
// for a dark pixel and '.' for a clear one.
using lcd_frame = std::vector<std::string>;

// Collects the frames that the LCD model appends to its dots file
// (RUK_SIM_LCD_DOTS): 17 lines of dots and an empty line each. Feed it the
// bytes as they come; it keeps a partial frame until the rest arrives.
class frame_reader {
 public:
  // Adds bytes; returns true when at least one whole frame was completed.
  bool add(const char* data, size_t n);
  // The last whole frame; empty before the first.
  const lcd_frame& last() const { return last_; }
  // Frames completed so far.
  long count() const { return count_; }
  // The last fault in the data (a line of the wrong length, say); "" if none.
  const std::string& fault() const { return fault_; }

 private:
  std::string pending_;
  lcd_frame building_;
  lcd_frame last_;
  long count_ = 0;
  std::string fault_;
};

// The frame as lcd_lines lines of half blocks (" ", "▀", "▄", "█"), dark
// on clear, without colour. An empty frame draws a blank panel.
std::vector<std::string> half_blocks(const lcd_frame& frame);

// One terminal key as the phone's keypad key it stands for.
enum class key_action { none, keypad, leave };
struct terminal_key {
  key_action action = key_action::none;
  char keypad = 0;  // the keypad character for key_action::keypad
};

// Splits terminal input into keys (plain bytes and the arrow keys' escape
// sequences). Keys of the keyboard, and what they are on the keypad:
//   0-9              the digits
//   . * space, Right next octet (*)
//   Backspace, Left  backspace (i)
//   Tab n, Down Up   next screen (c)
//   r                reset all addresses (u)
//   Enter            update (h)
//   q                quit (g)
//   Esc, Ctrl-C, Ctrl-D  leave ruk-sim
// Anything else is no key. A lone Esc at the end of data counts as Esc.
std::vector<terminal_key> decode_terminal_input(const std::string& bytes);

// The legend of the keys above, in lines of at most width characters.
std::vector<std::string> key_legend(int width);

// One transcript line "<ms>\t<kind>\t<text>" as a line for a person:
// "  12.345  screen   \"Update: 10%\" ...". Returns false for a line that is
// not worth a line of its own in a log without a terminal (key releases,
// single flash reads and writes) unless verbose.
bool event_line(const std::string& transcript_line, bool verbose, std::string* out);

// In a log without a terminal, a long run of screens with the same top row
// (the transfer's byte count, block by block) is shortened to its first and
// last three lines around one line that counts the rest.
class screen_runs {
 public:
  explicit screen_runs(size_t longest = 40) : longest_(longest) {}
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

// The top row of a transcript screen text ("\"tftp\" \"512\"" -> "tftp"),
// escapes left as they are; "" when the text does not start with a quote.
std::string top_row(const std::string& screen_text);

// Everything a terminal shows at one moment.
struct view {
  std::string title;
  lcd_frame frame;
  std::string status;               // what the run is doing, one line
  std::vector<std::string> legend;  // keys, or what runs the keys
  std::deque<std::string> events;   // newest last
};

// The whole terminal picture, for a terminal of width x height characters:
// each line cleared to its end, the panel in the phone's colours (256-colour
// escapes). A terminal too small for the panel gets a line saying how large
// it must be instead.
std::string compose(const view& v, int width, int height);

// The smallest terminal the picture fits.
constexpr int min_width = lcd_columns + 2;
constexpr int min_height = lcd_lines + 8;

}  // namespace ruk_sim
