#include "sim/models/port_pins.h"

#include <errno.h>

namespace sim {

int port_pins::apply(unsigned long request, const port_record& record, port_event* event) {
  port_event::kind_t kind;
  long* count;
  switch (request) {
    case port_request::open_drain:
      kind = port_event::open_drain;
      count = &counts_.open_drain;
      break;
    case port_request::direction:
      kind = port_event::direction;
      count = &counts_.direction;
      break;
    case port_request::write:
      kind = port_event::level;
      count = &counts_.write;
      break;
    case port_request::read:
      kind = port_event::read;
      count = &counts_.read;
      break;
    default:
      ++counts_.unknown;
      errno = ENOTTY;
      return -1;
  }
  if (record.port < 0 || record.port >= port_count || record.pin < 0 ||
      record.pin >= pins_per_port) {
    ++counts_.rejected;
    errno = EINVAL;
    return -1;
  }
  ++*count;

  pin_state& pin = pins_[record.port][record.pin];
  event->kind = kind;
  event->line = {record.port, record.pin};
  event->before = pin;
  bool on = record.value != 0;
  switch (kind) {
    case port_event::open_drain:
      pin.open_drain = on;
      break;
    case port_event::direction:
      pin.direction = on ? pin_direction::output : pin_direction::input;
      break;
    case port_event::level:
      pin.level = on ? 1 : 0;
      break;
    case port_event::read:
      break;
  }
  event->after = pin;
  return 0;
}

void port_pins::reset() {
  for (auto& port : pins_)
    for (auto& pin : port) pin = pin_state();
  counts_ = port_request_counts();
}

}  // namespace sim
