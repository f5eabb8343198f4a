#include "sim/models/lcd_bus.h"

namespace sim {

namespace {

int data_bit(port_line line) {
  for (int bit = 0; bit < 8; ++bit)
    if (lcd_data[bit] == line) return bit;
  return -1;
}

bool is_bus_line(port_line line) {
  return data_bit(line) >= 0 || line == lcd_a0 || line == lcd_cs || line == lcd_wr ||
         line == lcd_rd || line == lcd_reset;
}

}  // namespace

int lcd_bus::on_request(const port_event& event) {
  switch (event.kind) {
    case port_event::level:
      on_level(event);
      break;
    case port_event::direction:
      on_direction(event);
      break;
    case port_event::open_drain:
      break;
    case port_event::read:
      return on_read(event);
  }
  return 0;
}

bool lcd_bus::any_data_line(pin_direction d) const {
  for (port_line line : lcd_data)
    if (pins_.state(line).direction == d) return true;
  return false;
}

void lcd_bus::on_level(const port_event& event) {
  port_line line = event.line;
  if (!is_bus_line(line)) return;
  if (event.before.direction == pin_direction::unset) ++violations_.level_before_direction;
  if (event.before.direction == pin_direction::input) ++violations_.level_on_input;
  int was = event.before.level;
  int now = event.after.level;
  if (was == now) return;

  if (line == lcd_reset) {
    controller_.hold_reset(now == 0);
  } else if (line == lcd_a0) {
    if (selected() && (level(lcd_wr) == 0 || level(lcd_rd) == 0)) ++violations_.a0_changed_in_cycle;
  } else if (line == lcd_wr && was == 0) {
    latch();
  }

  if (line == lcd_cs || line == lcd_wr || line == lcd_rd) {
    bool both = selected() && level(lcd_wr) == 0 && level(lcd_rd) == 0;
    if (both && !both_strobes_) ++violations_.both_strobes;
    both_strobes_ = both;

    bool read_cycle = reading();
    if (read_cycle && !in_read_) {
      if (any_data_line(pin_direction::output)) ++violations_.read_with_output_data;
      read_byte_ = level(lcd_a0) == 1 ? controller_.read_data() : controller_.status();
    }
    in_read_ = read_cycle;
  }
}

void lcd_bus::on_direction(const port_event& event) {
  bool now_output = event.after.direction == pin_direction::output;
  bool was_output = event.before.direction == pin_direction::output;
  if (in_read_ && now_output && !was_output && data_bit(event.line) >= 0)
    ++violations_.read_with_output_data;
}

int lcd_bus::on_read(const port_event& event) {
  int bit = data_bit(event.line);
  if (bit >= 0) {
    if (in_read_) return (read_byte_ >> bit) & 1;
    ++violations_.read_outside_cycle;
  }
  const pin_state& pin = event.after;
  if (pin.direction == pin_direction::output && pin.level >= 0) return pin.level;
  return 1;
}

void lcd_bus::latch() {
  if (!selected()) {
    ++violations_.strobe_without_select;
    return;
  }
  if (controller_.in_reset()) {
    ++violations_.byte_during_reset;
    return;
  }
  int byte = 0;
  for (int bit = 0; bit < 8; ++bit) {
    const pin_state& pin = pins_.state(lcd_data[bit]);
    if (pin.direction != pin_direction::output || pin.level < 0) {
      ++violations_.strobe_with_undriven_lines;
      return;
    }
    byte |= pin.level << bit;
  }
  const pin_state& a0 = pins_.state(lcd_a0);
  if (a0.direction != pin_direction::output || a0.level < 0) {
    ++violations_.strobe_with_undriven_lines;
    return;
  }
  if (a0.level == 0) {
    controller_.command(static_cast<uint8_t>(byte));
  } else {
    controller_.data(static_cast<uint8_t>(byte));
  }
}

void lcd_bus::reset() {
  violations_ = lcd_violations();
  read_byte_ = 0xFF;
  in_read_ = false;
  both_strobes_ = false;
}

}  // namespace sim
