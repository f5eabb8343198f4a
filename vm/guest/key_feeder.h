// The key presses of a run, handed to the emulated phone's keypad driver
// (/dev/keypad-feed) as their times come: the simulator's key scripts
// (sim/models/keypad_script.h), timed from the start of the run.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "sim/models/keypad_script.h"
#include "vm/modules/phone_devices.h"

namespace vm {

class key_feeder {
 public:
  // Reads a key script; on a fault returns false with the message in
  // *error.
  bool load(const std::string& script, std::string* error);

  // The time of the next event not yet handed over; -1 when none is left.
  int64_t next_ms() const;
  // The next event, due at next_ms(), as the driver takes it.
  keypad_feed_event next_event() const;
  // The driver took the next event.
  void handed_over() { ++next_; }

 private:
  std::vector<sim::key_event> events_;
  size_t next_ = 0;
};

// The transcript's text for an event the program took ("press g 20").
std::string taken_text(const keypad_feed_event& e);

}  // namespace vm
