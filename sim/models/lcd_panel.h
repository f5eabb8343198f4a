// The phone's LCD panel as its port driver reaches it: the port lines, the
// controller's bus on them and the controller, fed one request of the driver
// at a time, and what a person watching the panel would note of it. Both
// homes of the panel use it: the simulator's device file
// (sim/seam/lcd_model.h) and the emulated phone's devices (vm/guest/).
//
// Whoever owns the panel decides when the display has settled and then
// takes what changed since the last take: the panel going dark or lighting
// up ("panel" text: "on", "off: display off", "off: power control 0x28"),
// and a screen whose pixels differ from the last one taken ("screen" text:
// both text rows as lcd_text.h writes them). A screen is what the panel
// shows (lcd_controller::panel): blank while it is dark, mirrored or shifted
// as the controller is set.
#pragma once

#include <string>

#include "sim/models/lcd_bus.h"
#include "sim/models/lcd_controller.h"
#include "sim/models/lcd_text.h"
#include "sim/models/port_pins.h"

namespace sim {

// What changed on the panel since the last take; a text is "" when that
// did not change.
struct lcd_change {
  std::string panel;   // the transcript's "panel" text
  std::string screen;  // the transcript's "screen" text
};

class lcd_panel {
 public:
  // One request of the port driver. Returns -1 with errno set when the
  // driver refuses it (port_pins::apply); else 0, and for a read the level
  // the line reads is in record->value.
  int apply(unsigned long request, port_record* record);

  // The changes since the last take (since power-on for the first).
  lcd_change take();

  // The last screen taken, as the panel showed it.
  const lcd_memory& shown() const { return taken_; }
  // The two text rows as the panel shows them now.
  lcd_screen screen() const { return lcd_read_screen(controller_.panel()); }

  const port_pins& pins() const { return pins_; }
  const lcd_controller& controller() const { return controller_; }
  const lcd_violations& violations() const { return bus_.violations(); }
  // Every request applied, refused ones too.
  long requests() const { return pins_.counts().total(); }

  // The breaches of the bus protocol by name and count ("LCD bus protocol
  // broken: write strobe without chip select 2, both strobes low 1"); ""
  // for none.
  std::string violations_text() const;

  // Injected fault: every status read reports busy.
  void set_busy_forever(bool on) { controller_.set_busy_forever(on); }

  // Power-on: every line unset, the controller as at power-on, counts zero,
  // nothing taken yet.
  void reset();

 private:
  port_pins pins_;
  lcd_controller controller_;
  lcd_bus bus_{pins_, controller_};
  lcd_memory taken_;
  std::string taken_dark_ = "-";  // "-": no state taken yet
  long taken_changes_ = 0;
};

}  // namespace sim
