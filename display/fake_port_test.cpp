#include "display/fake_port_test.h"

#include <errno.h>

#include "display/panel_pins.h"
#include "display/port_ioctl.h"

namespace display_fakes {
namespace {
bool is(port_pin line, std::pair<int, int> pin) {
  return line.port == pin.first && line.pin == pin.second;
}
}  // namespace

bool port_device::get(const std::map<std::pair<int, int>, int>& m, int port, int pin) {
  auto it = m.find({port, pin});
  return it != m.end() && it->second != 0;
}

int port_device::ioctl(unsigned long request, void* arg) {
  auto* record = static_cast<port_pin_request*>(arg);
  calls.push_back({request, record->port, record->pin, record->value});
  std::pair<int, int> pin{record->port, record->pin};
  if (request == port_request_dir) outputs_[pin] = record->value;
  if (request == port_request_write) {
    bool was_high = level(pin.first, pin.second);
    levels_[pin] = record->value;
    if (!is_output(pin.first, pin.second)) ++violations;
    if (is(lcd_read_strobe, pin) && record->value == 0) {
      ++status_reads;
      status_busy_ = busy_forever || busy_reads > 0;
      if (busy_reads > 0) --busy_reads;
    }
    if (is(lcd_write_strobe, pin) && !was_high && record->value != 0 &&
        !level(lcd_chip_select.port, lcd_chip_select.pin)) {
      latch();
    }
  }
  if (request == port_request_read) {
    if (reads_fail) {
      errno = EIO;
      return -1;
    }
    auto it = read_levels.find(pin);
    record->value = it == read_levels.end() ? 0 : it->second;
    for (int bit = 0; bit < 8; ++bit) {
      if (!is(lcd_data_pins[bit], pin)) continue;
      if (is_output(pin.first, pin.second) || level(lcd_read_strobe.port, lcd_read_strobe.pin)) {
        ++violations;
      }
      record->value = bit == 7 && status_busy_ ? 1 : 0;
    }
  }
  return 0;
}

void port_device::latch() {
  if (!level(lcd_read_strobe.port, lcd_read_strobe.pin)) ++violations;
  int value = 0;
  for (int bit = 0; bit < 8; ++bit) {
    port_pin p = lcd_data_pins[bit];
    if (!is_output(p.port, p.pin)) ++violations;
    if (level(p.port, p.pin)) value |= 1 << bit;
  }
  if (level(lcd_a0.port, lcd_a0.pin)) {
    if (!in_run_) runs.push_back({page_, column_, {}});
    in_run_ = true;
    runs.back().bytes.push_back(value);
    memory[page_][column_] = static_cast<uint8_t>(value);
    if (column_ < 255) ++column_;
    return;
  }
  in_run_ = false;
  commands.push_back(value);
  if (volume_next_) {
    volumes.push_back(value);
    volume_next_ = false;
  } else if (value == 0x81) {
    volume_next_ = true;
  } else if ((value & 0xF0) == 0xB0) {
    page_ = value & 0x0F;
  } else if ((value & 0xF0) == 0x00) {
    column_ = (column_ & 0xF0) | (value & 0x0F);
  } else if ((value & 0xF0) == 0x10) {
    column_ = (column_ & 0x0F) | ((value & 0x0F) << 4);
  }
}

void port_device::forget() {
  calls.clear();
  commands.clear();
  volumes.clear();
  runs.clear();
  violations = 0;
  status_reads = 0;
  in_run_ = false;
}

}  // namespace display_fakes
