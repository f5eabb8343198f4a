// The SoC's port lines as the port driver keeps them: per line a direction,
// an output level and the open-drain setting, changed one request at a time.
#pragma once

#include <stdint.h>

#include "sim/models/port_driver.h"

namespace sim {

enum class pin_direction : uint8_t { unset, input, output };

struct pin_state {
  pin_direction direction = pin_direction::unset;
  int level = -1;  // last level written: 0, 1, or -1 before the first write
  bool open_drain = false;
};

// One request the driver accepted.
struct port_event {
  enum kind_t { open_drain, direction, level, read } kind;
  port_line line;
  pin_state before;
  pin_state after;
};

struct port_request_counts {
  long open_drain = 0;
  long direction = 0;
  long write = 0;
  long read = 0;
  long unknown = 0;   // request numbers the driver does not serve
  long rejected = 0;  // known requests with a line outside the ports
  long total() const { return open_drain + direction + write + read + unknown + rejected; }
};

class port_pins {
 public:
  // Applies one request to the line it names. Returns 0 and fills *event, or
  // -1 with errno (ENOTTY for an unknown request, EINVAL for a line outside
  // the ports). A read changes nothing: the caller answers it.
  int apply(unsigned long request, const port_record& record, port_event* event);

  const pin_state& state(port_line line) const { return pins_[line.port][line.pin]; }
  const port_request_counts& counts() const { return counts_; }

  // Every line back to its state at power-on; counts to zero.
  void reset();

 private:
  pin_state pins_[port_count][pins_per_port];
  port_request_counts counts_;
};

}  // namespace sim
