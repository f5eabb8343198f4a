// The controller's 8-bit parallel bus as the port lines drive it: turns the
// line changes of the port driver into command, data and status cycles, and
// counts every way a driver can break the bus protocol.
//
// A byte is taken on the rising edge of the write strobe while chip select
// is low, A0 telling a command (0) from display data (1). A read cycle runs
// while chip select and the read strobe are low; the controller then drives
// the data lines with the status byte (A0 = 0) or display data (A0 = 1).
// Inputs that nobody drives read high (pull-ups).
#pragma once

#include "sim/models/lcd_controller.h"
#include "sim/models/port_pins.h"

namespace sim {

struct lcd_violations {
  // A write strobe rose while chip select was high: the byte is lost.
  long strobe_without_select = 0;
  // A byte was latched while a data line or A0 was an input or had never
  // been given a level.
  long strobe_with_undriven_lines = 0;
  // A read cycle with a data line set as output: driver and controller drive
  // the same line.
  long read_with_output_data = 0;
  // A data line was read outside a read cycle.
  long read_outside_cycle = 0;
  // A level written to a line whose direction was never set.
  long level_before_direction = 0;
  // A level written to a line set as input.
  long level_on_input = 0;
  // Read and write strobe low together while selected.
  long both_strobes = 0;
  // A0 changed in the middle of a selected strobe.
  long a0_changed_in_cycle = 0;
  // A byte latched while the reset line held the controller.
  long byte_during_reset = 0;

  long total() const {
    return strobe_without_select + strobe_with_undriven_lines + read_with_output_data +
           read_outside_cycle + level_before_direction + level_on_input + both_strobes +
           a0_changed_in_cycle + byte_during_reset;
  }
};

class lcd_bus {
 public:
  // Both must outlive the bus.
  lcd_bus(const port_pins& pins, lcd_controller& controller)
      : pins_(pins), controller_(controller) {}

  // A request the port driver accepted (the pins already show its effect).
  // Returns, for a read, the level the line reads.
  int on_request(const port_event& event);

  const lcd_violations& violations() const { return violations_; }
  void reset();

 private:
  int level(port_line line) const { return pins_.state(line).level; }
  bool selected() const { return level(lcd_cs) == 0; }
  bool reading() const { return selected() && level(lcd_rd) == 0; }
  bool any_data_line(pin_direction d) const;
  void on_level(const port_event& event);
  void on_direction(const port_event& event);
  int on_read(const port_event& event);
  void latch();

  const port_pins& pins_;
  lcd_controller& controller_;
  lcd_violations violations_;
  int read_byte_ = 0xFF;  // what the controller drives during a read cycle
  bool in_read_ = false;
  bool both_strobes_ = false;
};

}  // namespace sim
