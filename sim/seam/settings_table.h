// The simulator's settings: one row for each environment variable that
// configures a simulated run. The seam reads every one of them through this
// table (sim/seam/settings.h) and ruk-sim's --help lists them from it. Plain
// data in a header, so that a tool has it without the simulator.
//
// A variable that is unset or empty means the row's default.
#pragma once

#include <limits.h>

namespace sim {

enum class setting {
  clock,
  transcript,
  reboot,
  port,
  port_fault,
  lcd_png,
  lcd_dots,
  keys,
  keys_fd,
  keypad,
  net,
  eth0,
  eth0_link,
  flash_dir,
  mtd4_size,
  mtd5_size,
  mtd4_erasesize,
  mtd5_erasesize,
  flash_fault,
  flash_chip,
  flash_timing,
  power_cut,
  port69,
};

// How the seam takes a value before its model sees it.
enum class setting_kind {
  choice,  // one of the words of the form, which are separated by '|'
  number,  // a decimal whole number from min to max
  list,    // entries separated by commas, each judged by its model
  text,    // judged by its model alone (a path, a script, a size ...)
};

struct setting_row {
  setting id;
  const char* name;      // the environment variable
  const char* form;      // the value as help writes it: "FILE", "real|virtual"
  setting_kind kind;
  const char* fallback;  // the default; "" when the setting is then off
  long min, max;         // a number's range
  const char* help;      // one short line
};

// The rows, in the order of the enum.
inline constexpr setting_row setting_rows[] = {
    {setting::clock, "RUK_SIM_CLOCK", "real|virtual", setting_kind::choice, "real", 0, 0,
     "virtual: time stands still until the program waits"},
    {setting::transcript, "RUK_SIM_TRANSCRIPT", "FILE", setting_kind::text, "", 0, 0,
     "append the run's transcript to FILE"},
    {setting::reboot, "RUK_SIM_REBOOT", "restart|fail", setting_kind::choice, "restart", 0, 0,
     "fail: reboot fails instead of ending the run (99)"},
    {setting::port, "RUK_SIM_PORT", "PATH", setting_kind::text, "/dev/inca-port", 0, 0,
     "the LCD's port driver"},
    {setting::port_fault, "RUK_SIM_PORT_FAULT", "LIST", setting_kind::list, "", 0, 0,
     "port driver faults: missing, busy"},
    {setting::lcd_png, "RUK_SIM_LCD_PNG", "FILE", setting_kind::text, "", 0, 0,
     "each screen also as a PNG"},
    {setting::lcd_dots, "RUK_SIM_LCD_DOTS", "FILE", setting_kind::text, "", 0, 0,
     "each screen's pixels appended as # and ."},
    {setting::keys, "RUK_SIM_KEYS", "SCRIPT", setting_kind::text, "", 0, 0,
     "timed key presses: @1200 g +900 1 9 2"},
    {setting::keys_fd, "RUK_SIM_KEYS_FD", "N", setting_kind::number, "", 0, INT_MAX,
     "keys typed live on the open descriptor N"},
    {setting::keypad, "RUK_SIM_KEYPAD", "PATH|missing", setting_kind::text, "/dev/keypad", 0, 0,
     "the keypad's path, or no keypad"},
    {setting::net, "RUK_SIM_NET", "record|kernel|refuse", setting_kind::choice, "record", 0, 0,
     "eth0 requests: to a model, a test's kernel, refused"},
    {setting::eth0, "RUK_SIM_ETH0", "missing|present", setting_kind::choice, "present", 0, 0,
     "whether the phone has an eth0"},
    {setting::eth0_link, "RUK_SIM_ETH0_LINK", "ADDRESS,...", setting_kind::list, "", 0, 0,
     "the only hosts on eth0's segment"},
    {setting::flash_dir, "RUK_SIM_FLASH_DIR", "DIR", setting_kind::text, "", 0, 0,
     "folder of mtd4 and mtd5 (/tmp/ruk-sim-flash-UID)"},
    {setting::mtd4_size, "RUK_SIM_MTD4_SIZE", "N", setting_kind::text, "2M", 0, 0, "mtd4's size in bytes"},
    {setting::mtd5_size, "RUK_SIM_MTD5_SIZE", "N", setting_kind::text, "8M", 0, 0, "mtd5's size in bytes"},
    {setting::mtd4_erasesize, "RUK_SIM_MTD4_ERASESIZE", "N", setting_kind::text, "64K", 0, 0,
     "mtd4's erase-block size"},
    {setting::mtd5_erasesize, "RUK_SIM_MTD5_ERASESIZE", "N", setting_kind::text, "64K", 0, 0,
     "mtd5's erase-block size"},
    {setting::flash_fault, "RUK_SIM_FLASH_FAULT", "LIST", setting_kind::list, "", 0, 0,
     "flash faults: mtd5:open, mtd5:erase@OFFSET ..."},
    {setting::flash_chip, "RUK_SIM_FLASH_CHIP", "intel|amd", setting_kind::choice, "intel", 0, 0,
     "amd: a write over unerased bits fails"},
    {setting::flash_timing, "RUK_SIM_FLASH_TIMING", "nor|none", setting_kind::choice, "none", 0, 0,
     "nor: flash requests take a NOR chip's time"},
    {setting::power_cut, "RUK_SIM_POWER_CUT", "US|KIND:N+US", setting_kind::text, "", 0, 0,
     "the power fails at that moment of the run"},
    {setting::port69, "RUK_SIM_PORT69", "PORT", setting_kind::number, "", 1, 65535,
     "datagrams for port 69 go to PORT"},
};

inline constexpr int setting_count = sizeof setting_rows / sizeof setting_rows[0];

constexpr bool rows_follow_the_enum() {
  for (int i = 0; i < setting_count; ++i) {
    if (static_cast<int>(setting_rows[i].id) != i) return false;
  }
  return true;
}
static_assert(rows_follow_the_enum(), "setting_rows[int(s)] must be the row of s");

constexpr const setting_row& row_of(setting s) {
  return setting_rows[static_cast<int>(s)];
}

}  // namespace sim
