// The phone's port driver with the LCD controller on its lines: the device
// the program draws its display through, and the source of the screens in
// the run's transcript.
//
// Settings, read from the environment once, before the first simulated call
// (a bad value stops the run with a message):
//   RUK_SIM_PORT=PATH         the port driver's path; default /dev/inca-port
//   RUK_SIM_PORT_FAULT=LIST   injected faults, comma separated:
//                               missing  the device does not open (ENOENT)
//                               busy     every status read reports busy
//   RUK_SIM_LCD_PNG=FILE      every recorded screen is also written to FILE
//                             as a PNG (scale 4), replacing the previous one
//   RUK_SIM_LCD_DOTS=FILE     every recorded screen is also appended to FILE
//                             as its pixels, 17 lines of 132 '#' (dark) and
//                             '.' (clear) and an empty line; a terminal front
//                             end reads them from a pipe to draw the panel
//
// When the display settles (sim/seam/settle.h), what changed on the panel
// (sim/models/lcd_panel.h) becomes transcript lines: a "panel" line when it
// went dark or lit up, then a "screen" line when the pixels a person would
// see differ from the last screen recorded, for example
//   screen	"To Update by TFTP:" "Press any key: 3"
//
// A run that ends with any breach of the bus protocol counted (lcd_bus.h)
// fails (sim/seam/run_end.h), with a fault line that names them.
#pragma once

#include <stdio.h>

#include <string>

#include "sim/models/lcd_panel.h"
#include "sim/seam/settings_table.h"

namespace sim {

struct lcd_faults {
  bool missing = false;
  bool busy = false;
};

// Reads a RUK_SIM_PORT_FAULT value ("" for none). On an unknown name returns
// false with the reason in *error.
bool lcd_parse_faults(const std::string& text, lcd_faults* faults, std::string* error);

class lcd_model {
 public:
  // The port driver's path unless RUK_SIM_PORT says otherwise.
  static constexpr const char* default_path = row_of(setting::port).fallback;

  // The process's one panel.
  static lcd_model& instance();

  // Serves the port driver at path from now on, and no longer at the path
  // served before.
  void attach(const std::string& path);
  const std::string& path() const { return path_; }

  void set_faults(const lcd_faults& faults);
  // Where each recorded screen is written as a PNG; "" for nowhere.
  void set_png_path(const std::string& path) { png_path_ = path; }
  // Where each recorded screen's pixels are appended as text; "" for
  // nowhere.
  void set_dots_path(const std::string& path);

  // One request of the port driver, as the program's ioctl passed it.
  int ioctl(unsigned long request, void* arg);

  const port_pins& pins() const { return panel_.pins(); }
  const lcd_controller& controller() const { return panel_.controller(); }
  const lcd_memory& memory() const { return panel_.controller().memory(); }
  const lcd_violations& violations() const { return panel_.violations(); }
  long requests() const { return panel_.requests(); }
  long data_bytes() const { return panel_.controller().counts().data; }
  long command_bytes() const { return panel_.controller().counts().commands; }

  // The two text rows as the panel shows them now.
  lcd_screen screen() const { return panel_.screen(); }
  // The counted breaches by name (lcd_panel::violations_text), "" for none.
  std::string violations_text() const { return panel_.violations_text(); }

  // Writes what changed since the last call: a "panel" line when the panel
  // went dark or lit up; when the pixels differ from the last screen
  // recorded, a "screen" line and, where they are set, the PNG and a frame
  // of the dots file.
  void settle();

  // Power-on: the panel dark and its memory as at power-on, every line
  // unset, counts zero, no fault, nothing recorded yet. The path stays.
  void reset();

 private:
  lcd_model() = default;
  void write_png();
  void write_dots();

  lcd_panel panel_;
  lcd_faults faults_;
  std::string path_;
  std::string png_path_;
  std::string dots_path_;
  FILE* dots_ = nullptr;
  bool png_failed_ = false;
  bool dots_failed_ = false;
};

}  // namespace sim
