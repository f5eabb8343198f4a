#include "display/fake_port_test.h"

#include <errno.h>

#include "display/panel_pins.h"
#include "display/port_ioctl.h"

namespace display_fakes {
namespace {

std::pair<int, int> key(port_pin p) { return {p.port, p.pin}; }

}  // namespace

bool port_device::level(int port, int pin) const {
  auto it = levels_.find({port, pin});
  return it != levels_.end() && it->second != 0;
}

bool port_device::is_output(int port, int pin) const {
  auto it = outputs_.find({port, pin});
  return it != outputs_.end() && it->second != 0;
}

int port_device::ioctl(unsigned long request, void* arg) {
  auto* record = static_cast<port_pin_request*>(arg);
  calls.push_back({request, record->port, record->pin, record->value});
  std::pair<int, int> pin{record->port, record->pin};
  switch (request) {
    case port_request_open_drain:
      return 0;
    case port_request_dir:
      outputs_[pin] = record->value;
      return 0;
    case port_request_write: {
      bool was_high = level(pin.first, pin.second);
      levels_[pin] = record->value;
      if (!is_output(pin.first, pin.second)) ++violations;
      if (pin == key(lcd_read_strobe) && record->value == 0) {
        ++status_reads;
        status_busy_ = busy_forever || busy_reads > 0;
        if (busy_reads > 0) --busy_reads;
      }
      if (pin == key(lcd_write_strobe) && !was_high && record->value != 0 &&
          !level(lcd_chip_select.port, lcd_chip_select.pin)) {
        latch();
      }
      return 0;
    }
    case port_request_read: {
      if (reads_fail) {
        errno = EIO;
        return -1;
      }
      bool data_pin = false;
      for (port_pin p : lcd_data_pins) data_pin = data_pin || key(p) == pin;
      if (data_pin) {
        if (is_output(pin.first, pin.second) || level(lcd_read_strobe.port, lcd_read_strobe.pin)) {
          ++violations;
        }
        record->value = pin == key(lcd_data_pins[7]) && status_busy_ ? 1 : 0;
      } else {
        auto it = read_levels.find(pin);
        record->value = it == read_levels.end() ? 0 : it->second;
      }
      return 0;
    }
    default:
      errno = ENOTTY;
      return -1;
  }
}

void port_device::latch() {
  if (!level(lcd_read_strobe.port, lcd_read_strobe.pin)) ++violations;
  int value = 0;
  for (int bit = 0; bit < 8; ++bit) {
    port_pin p = lcd_data_pins[bit];
    if (!is_output(p.port, p.pin)) ++violations;
    if (level(p.port, p.pin)) value |= 1 << bit;
  }
  bool data = level(lcd_a0.port, lcd_a0.pin);
  bytes.push_back({data, value});
  if (!data) {
    take_command(value);
  } else {
    memory[page & 15][column & 255] = static_cast<uint8_t>(value);
    if (column < 255) ++column;
  }
}

void port_device::take_command(int value) {
  if (expect_volume_) {
    expect_volume_ = false;
    volumes.push_back(value);
  } else if (value == 0x81) {
    expect_volume_ = true;
  } else if ((value & 0xF0) == 0xB0) {
    page = value & 0x0F;
  } else if ((value & 0xF0) == 0x00) {
    column = (column & 0xF0) | (value & 0x0F);
  } else if ((value & 0xF0) == 0x10) {
    column = (column & 0x0F) | ((value & 0x0F) << 4);
  }
}

bool port_device::pixel(int x, int y) const {
  if (x < 0 || x >= 132 || y < 0 || y > 16) return false;
  return (memory[y / 8][x] >> (y % 8)) & 1;
}

std::vector<int> port_device::commands() const {
  std::vector<int> out;
  for (const bus_byte& b : bytes) {
    if (!b.data) out.push_back(b.value);
  }
  return out;
}

std::vector<data_run> port_device::runs() const {
  std::vector<data_run> out;
  int p = 0, c = 0;
  bool volume_next = false;
  bool in_run = false;
  for (const bus_byte& b : bytes) {
    if (!b.data) {
      in_run = false;
      if (volume_next) {
        volume_next = false;
      } else if (b.value == 0x81) {
        volume_next = true;
      } else if ((b.value & 0xF0) == 0xB0) {
        p = b.value & 0x0F;
      } else if ((b.value & 0xF0) == 0x00) {
        c = (c & 0xF0) | (b.value & 0x0F);
      } else if ((b.value & 0xF0) == 0x10) {
        c = (c & 0x0F) | ((b.value & 0x0F) << 4);
      }
      continue;
    }
    if (!in_run) out.push_back({p, c, {}});
    in_run = true;
    out.back().bytes.push_back(b.value);
    ++c;
  }
  return out;
}

void port_device::forget() {
  calls.clear();
  bytes.clear();
  volumes.clear();
  violations = 0;
  status_reads = 0;
}

int led_device::ioctl(unsigned long request, void* arg) {
  requests.emplace_back(request, reinterpret_cast<unsigned long>(arg));
  return 0;
}

}  // namespace display_fakes
