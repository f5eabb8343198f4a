#include "sim/models/lcd_controller.h"

namespace sim {

namespace {
// Commands whose next byte is their argument.
constexpr int contrast_set = 0x81;
constexpr int indicator_off = 0xAC;
constexpr int indicator_on = 0xAD;
constexpr int booster_set = 0xF8;
}  // namespace

void lcd_controller::command(uint8_t byte) {
  uint32_t before = view_state();
  run_command(byte);
  note_view(before);
}

void lcd_controller::run_command(uint8_t byte) {
  ++counts_.commands;
  if (pending_ != 0) {
    if (pending_ == contrast_set) contrast_ = byte & 0x3F;
    pending_ = 0;
    return;
  }
  switch (byte & 0xF0) {
    case 0x00:
      column_ = (column_ & 0xF0) | (byte & 0x0F);
      return;
    case 0x10:
      column_ = ((byte & 0x0F) << 4) | (column_ & 0x0F);
      return;
    case 0x20:  // 0x20..0x27 regulator resistor ratio, 0x28..0x2F power control
      if (byte & 0x08) power_ = byte & 0x07;
      return;
    case 0x40:
    case 0x50:
    case 0x60:
    case 0x70:
      start_line_ = byte & 0x3F;
      return;
    case 0xB0:
      page_ = byte & 0x0F;
      return;
    case 0xC0:
      rows_reversed_ = (byte & 0x08) != 0;
      return;
  }
  switch (byte) {
    case contrast_set:
    case indicator_off:
    case indicator_on:
    case booster_set:
      pending_ = byte;
      return;
    case 0xA0:
    case 0xA1:
      columns_reversed_ = byte & 1;
      return;
    case 0xA2:  // LCD bias
    case 0xA3:
    case 0xA8:  // panel mode
    case 0xA9:
    case 0xE3:  // no operation
      return;
    case 0xA4:
    case 0xA5:
      all_points_on_ = byte & 1;
      return;
    case 0xA6:
    case 0xA7:
      inverse_ = byte & 1;
      return;
    case 0xAE:
    case 0xAF:
      display_on_ = byte & 1;
      return;
    case 0xE0:
      read_modify_write_column_ = column_;
      return;
    case 0xEE:
      if (read_modify_write_column_ >= 0) column_ = read_modify_write_column_;
      read_modify_write_column_ = -1;
      return;
    case 0xE2:
      software_reset();
      return;
  }
  ++counts_.unknown_commands;
}

void lcd_controller::data(uint8_t byte) {
  ++counts_.data;
  if (page_ < lcd_memory::pages && column_ < lcd_memory::columns) {
    uint8_t& cell = memory_.page[page_][column_];
    if (cell != byte) ++changes_;
    cell = byte;
  } else {
    ++counts_.dropped_data;
  }
  if (column_ < 0xFF) ++column_;
}

uint8_t lcd_controller::status() {
  ++counts_.status_reads;
  uint8_t s = 0;
  if (busy_forever_ || in_reset_) s |= lcd_status::busy;
  if (in_reset_) s |= lcd_status::resetting;
  if (columns_reversed_) s |= lcd_status::columns_reversed;
  if (!display_on_) s |= lcd_status::display_off;
  return s;
}

uint8_t lcd_controller::read_data() {
  ++counts_.data_reads;
  uint8_t byte = 0;
  if (page_ < lcd_memory::pages && column_ < lcd_memory::columns)
    byte = memory_.page[page_][column_];
  if (read_modify_write_column_ < 0 && column_ < 0xFF) ++column_;
  return byte;
}

void lcd_controller::hold_reset(bool low) {
  uint32_t before = view_state();
  in_reset_ = low;
  if (low) {
    software_reset();
    display_on_ = false;
    columns_reversed_ = false;
    all_points_on_ = false;
    inverse_ = false;
  }
  note_view(before);
}

uint32_t lcd_controller::view_state() const {
  return static_cast<uint32_t>(start_line_) | static_cast<uint32_t>(power_) << 6 |
         static_cast<uint32_t>(display_on_) << 9 | static_cast<uint32_t>(columns_reversed_) << 10 |
         static_cast<uint32_t>(rows_reversed_) << 11 | static_cast<uint32_t>(all_points_on_) << 12 |
         static_cast<uint32_t>(inverse_) << 13 | static_cast<uint32_t>(in_reset_) << 14;
}

void lcd_controller::note_view(uint32_t before) {
  if (view_state() != before) ++changes_;
}

std::string lcd_controller::dark_reason() const {
  if (in_reset_) return "reset held";
  if (!display_on_) return "display off";
  if (power_ != 7) {
    static const char hex[] = "0123456789ABCDEF";
    return std::string("power control 0x2") + hex[0x8 | power_];
  }
  return "";
}

lcd_memory lcd_controller::panel() const {
  lcd_memory shown;
  memset(shown.page, 0, sizeof shown.page);
  if (!dark_reason().empty()) return shown;
  constexpr int scanned_lines = 64;
  for (int row = 0; row < lcd_memory::rows; ++row) {
    int line = (start_line_ + (rows_reversed_ ? lcd_memory::rows - 1 - row : row)) % scanned_lines;
    for (int x = 0; x < lcd_memory::columns; ++x) {
      int column = columns_reversed_ ? lcd_memory::columns - 1 - x : x;
      bool dark = all_points_on_ || (memory_.pixel(column, line) != inverse_);
      if (dark) shown.page[row / 8][x] |= static_cast<uint8_t>(1 << (row % 8));
    }
  }
  return shown;
}

uint8_t lcd_controller::power_on_byte(int page, int column) {
  // Irregular, so that it reads as no text.
  uint32_t x = static_cast<uint32_t>(page * lcd_memory::columns + column) * 2654435761u;
  return static_cast<uint8_t>(x >> 24);
}

void lcd_controller::software_reset() {
  page_ = 0;
  column_ = 0;
  read_modify_write_column_ = -1;
  pending_ = 0;
  contrast_ = 32;
  start_line_ = 0;
  power_ = 0;
  rows_reversed_ = false;
}

lcd_controller::lcd_controller() {
  for (int p = 0; p < lcd_memory::pages; ++p)
    for (int x = 0; x < lcd_memory::columns; ++x) memory_.page[p][x] = power_on_byte(p, x);
}

void lcd_controller::power_on() {
  *this = lcd_controller();
}

}  // namespace sim
