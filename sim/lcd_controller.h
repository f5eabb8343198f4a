// The LCD controller: its command set over a pixel memory of 132 columns by
// 3 pages of 8 rows, of which the phone's panel shows rows 0..16.
//
// A command or data byte arrives whole (the bus has already decoded the
// strobes). Set-up bytes that change nothing the model shows (bias,
// regulator ratio, booster, panel mode ...) are accepted and dropped.
#pragma once

#include <stdint.h>
#include <string.h>

namespace sim {

// The controller's display memory: byte x of page p holds pixel rows
// 8p..8p+7 of column x, bit 0 the top one.
struct lcd_memory {
  static constexpr int columns = 132;
  static constexpr int pages = 3;
  static constexpr int rows = 17;  // the panel shows page 2's bit 0 only
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
  // Counts every data write that changed a byte of the memory.
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

  // Power-on state: memory clear, counts zero, no fault.
  void power_on();

 private:
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
