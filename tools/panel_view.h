// The phone's panel in a terminal, as ruk-sim and ruk-vm-view draw it: the
// pixels read back from the stream of frames the LCD writes, and the whole
// terminal picture around them (title, panel, status, legend, the newest
// events). Pure functions of their input, so that tests compare whole
// pictures.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "sim/models/lcd_controller.h"
#include "tools/terminal_text.h"

namespace ruk_sim {

// The panel in a terminal: two pixel rows per character line (drawn by
// sim/models/lcd_render.h), one pixel column per character column, which
// keeps the panel's proportions on a terminal whose cells are twice as high
// as wide.
constexpr int lcd_lines = (sim::lcd_memory::rows + 1) / 2;

// Collects the frames that the LCD writes to its dots stream
// (RUK_SIM_LCD_DOTS, or the emulated phone's third serial port): 17 lines
// of 132 characters, '#' for a dark pixel and '.' for a clear one, and an
// empty line each. Feed it the bytes as they come; it keeps a partial frame
// until the rest arrives.
class frame_reader {
 public:
  // Adds bytes; returns true when at least one whole frame was completed.
  bool add(const char* data, size_t n);
  // The last whole frame; all clear before the first.
  const sim::lcd_memory& last() const { return last_; }
  // Frames completed so far.
  long count() const { return count_; }
  // The last fault in the data (a line of the wrong length, say); "" if none.
  const std::string& fault() const { return fault_; }

 private:
  void start_frame();

  line_splitter lines_;
  sim::lcd_memory building_;
  int building_rows_ = 0;
  sim::lcd_memory last_;
  long count_ = 0;
  std::string fault_;
};

// Everything a terminal shows at one moment.
struct view {
  std::string title;
  sim::lcd_memory frame;            // all clear: a blank panel
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
constexpr int min_width = sim::lcd_memory::columns + 2;
constexpr int min_height = lcd_lines + 8;

}  // namespace ruk_sim
