// A fresh phone for an in-process test: the environment's set-up done (so
// that it cannot replace the test's own later), then every device model as
// at power-on with nothing injected: the keypad at /dev/keypad with no
// events and no feed; the port driver at its path, the panel dark, no
// pictures written; the flash without faults, on an Intel-style chip that
// takes no time; eth0 present and unconfigured, requests recorded; the
// clock real; the transcript empty and unobserved; port 69 not redirected;
// reboot ending the run; no power cut pending.
//
// What stays: which folder the flash partitions are served from (a test that
// opens them serves its own), the clock's offset (the program sets its date
// once per process), and the descriptors the test holds open.
#pragma once

#include "sim/seam/clock.h"
#include "sim/seam/fd_table.h"
#include "sim/seam/keypad_model.h"
#include "sim/seam/lcd_model.h"
#include "sim/seam/mtd_model.h"
#include "sim/seam/netconfig_model.h"
#include "sim/seam/port69.h"
#include "sim/seam/power_cut.h"
#include "sim/seam/restart.h"
#include "sim/seam/settings_table.h"
#include "sim/seam/transcript.h"

namespace sim {

inline void fresh_phone() {
  run_setup_once();
  keypad::model()->clear();
  keypad::model()->feed_from(-1);
  keypad::attach(row_of(setting::keypad).fallback);
  lcd_model& lcd = lcd_model::instance();
  lcd.reset();
  lcd.attach(lcd_model::default_path);
  lcd.set_png_path("");
  lcd.set_dots_path("");
  mtd::clear_faults();
  mtd::set_chip(mtd::chip::intel);
  mtd::set_timing(false);
  netconfig::set_mode(netconfig::mode::record, nullptr);
  netconfig::set_eth0_present(true);
  netconfig::clear_requests();
  disarm_power_cut();
  clock::use_virtual(false);
  transcript_clear();
  transcript_observe(nullptr);
  redirect_port69(0);
  set_reboot_fails(false);
}

}  // namespace sim
