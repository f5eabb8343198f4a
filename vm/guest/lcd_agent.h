// The LCD controller behind the emulated phone's port driver: the
// simulator's models of the port lines, of the controller's bus and of the
// controller itself, fed with the requests that the kernel's port driver
// (/dev/inca-port) accepted and queued, in their order. A screen is taken
// when the display has settled, by the simulator's rule (sim/seam/settle.h): the
// program made a call other than a port request (ruk-devices hears of each,
// through the seccomp filter its init starts the program under).
#pragma once

#include <stdint.h>

#include <string>

#include "sim/models/lcd_bus.h"
#include "sim/models/lcd_controller.h"
#include "sim/models/port_pins.h"
#include "vm/modules/phone_devices.h"

namespace vm {

class lcd_agent {
 public:
  // Applies one accepted request. Returns the level the line reads, for a
  // read request; 0 otherwise.
  int apply(const port_line_request& r);

  // When the display has changed since the last call and the pixels a
  // person would see differ from the last screen taken, takes the new
  // screen: returns true with its transcript text in *text. *panel is the
  // panel's new state ("on", "off: why") when it went dark or lit up since
  // the last call, else empty.
  bool take_screen(std::string* panel, std::string* text);

  // The last screen taken, as the panel showed it.
  const sim::lcd_memory& shown() const { return taken_; }
  const sim::lcd_violations& violations() const { return bus_.violations(); }
  long requests() const { return requests_; }

 private:
  sim::port_pins pins_;
  sim::lcd_controller controller_;
  sim::lcd_bus bus_{pins_, controller_};
  sim::lcd_memory taken_;
  std::string taken_dark_ = "-";  // no state taken yet
  long taken_changes_ = 0;
  long requests_ = 0;
};

}  // namespace vm
