// The LCD controller, of the ST7565 kind: its command set over a display
// memory of 132 columns by 65 lines (8 pages of 8 lines and a ninth page of
// which only line 64 is used), and the picture the phone's panel of 132 x 17
// pixels shows from it.
//
// A command or data byte arrives whole (the bus has already decoded the
// strobes). Set-up bytes that change nothing the model shows (bias,
// regulator ratio, booster, panel mode ...) are accepted and dropped.
//
// What the panel shows (panel()): nothing unless the display is on (0xAF),
// the power circuits are all on (0x2F: booster, regulator and follower; the
// panel has no other supply) and the reset line is released. Then its 17
// rows are the controller's first 17 common lines, which scan the memory
// from the start line on (0x40 | line, counted modulo 64), upwards with the
// common direction reversed (0xC8): row r shows memory line
// (start + r) % 64, or (start + 16 - r) % 64 reversed, so a reversed picture
// stands on its head. Its 132 columns are the segment lines: column c shows
// memory column c, or 131 - c with the segment order reversed (0xA1), a
// mirror image. All points on (0xA5) darkens every pixel; inverse (0xA7)
// swaps dark and clear.
//
// At power-on the memory holds whatever its cells settle to (power_on_byte),
// not zeros, so a set-up that forgets to clear it shows.
#pragma once

#include <stdint.h>
#include <string.h>

#include <string>

namespace sim {

// The controller's display memory, and a picture of the panel in the same
// layout: byte x of page p holds pixel rows 8p..8p+7 of column x, bit 0 the
// top one.
struct lcd_memory {
  static constexpr int columns = 132;
  static constexpr int pages = 9;
  static constexpr int rows = 17;  // the panel's rows: a picture's pages 0, 1 and bit 0 of 2
  uint8_t page[pages][columns] = {};

  bool pixel(int x, int y) const { return (page[y / 8][x] >> (y % 8)) & 1; }
  bool operator==(const lcd_memory& o) const { return memcmp(page, o.page, sizeof page) == 0; }
  bool operator!=(const lcd_memory& o) const { return !(*this == o); }
};

// Status byte bits.
namespace lcd_status {
constexpr uint8_t busy = 0x80;
constexpr uint8_t columns_reversed = 0x40;
constexpr uint8_t display_off = 0x20;
constexpr uint8_t resetting = 0x10;
}  // namespace lcd_status

struct lcd_byte_counts {
  long commands = 0;
  long data = 0;
  long unknown_commands = 0;  // bytes no command of the set starts with
  long dropped_data = 0;      // data written outside the memory (column 132 on, page 3 on)
  long status_reads = 0;
  long data_reads = 0;
};

class lcd_controller {
 public:
  // At power-on.
  lcd_controller();

  void command(uint8_t byte);
  void data(uint8_t byte);
  // A read cycle with A0 = 0.
  uint8_t status();
  // A read cycle with A0 = 1: the byte at the current address, which then
  // advances (unless in read-modify-write mode).
  uint8_t read_data();

  // The reset line: held low, the controller ignores the bus; released, it
  // starts from its reset state. The display memory survives both.
  void hold_reset(bool low);
  bool in_reset() const { return in_reset_; }

  // Injected fault: the status byte reports busy, always.
  void set_busy_forever(bool on) { busy_forever_ = on; }

  const lcd_memory& memory() const { return memory_; }
  // What the panel shows now (rows 0..16 of the result; the rest clear).
  lcd_memory panel() const;
  // Why the panel shows nothing ("display off", "power control 0x2B",
  // "reset held"), or "" when it is lit.
  std::string dark_reason() const;

  // Counts every change of what the panel may show: a data write that
  // changed a byte of the memory, a command or reset that changed how it is
  // shown.
  long changes() const { return changes_; }
  const lcd_byte_counts& counts() const { return counts_; }

  int page() const { return page_; }
  int column() const { return column_; }
  bool display_on() const { return display_on_; }
  int contrast() const { return contrast_; }
  int start_line() const { return start_line_; }
  bool columns_reversed() const { return columns_reversed_; }
  bool rows_reversed() const { return rows_reversed_; }
  bool all_points_on() const { return all_points_on_; }
  bool inverse() const { return inverse_; }
  int power() const { return power_; }

  // Power-on state: the memory as its cells settle (power_on_byte), counts
  // zero, no fault.
  void power_on();
  static uint8_t power_on_byte(int page, int column);

 private:
  // Everything besides the memory that decides what the panel shows.
  uint32_t view_state() const;
  void note_view(uint32_t before);
  void run_command(uint8_t byte);

  // State a software reset (0xE2) restores; the hardware reset also turns
  // the display off.
  void software_reset();

  lcd_memory memory_;
  lcd_byte_counts counts_;
  long changes_ = 0;
  int page_ = 0;
  int column_ = 0;
  int read_modify_write_column_ = -1;  // -1: not in that mode
  int pending_ = 0;                    // a command waiting for its second byte
  int contrast_ = 32;
  int start_line_ = 0;
  int power_ = 0;
  bool display_on_ = false;
  bool columns_reversed_ = false;
  bool rows_reversed_ = false;
  bool all_points_on_ = false;
  bool inverse_ = false;
  bool in_reset_ = false;
  bool busy_forever_ = false;
};

}  // namespace sim
