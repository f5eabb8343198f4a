// One ruk-sim session: the simulated program started (through
// scripts/safe-run) as often as the person asks, its keypad fed from the
// keyboard or a script, its panel and events shown in the terminal or, with
// no terminal, printed as lines.
//
// The program runs as a child process rather than in ruk-sim's own process:
// it is then started exactly as tests start it, without the rights to set the
// clock or restart; its exit and its restart end only the child; its
// standard output cannot disturb the picture; and a second run after a
// restart starts from a fresh process, as the phone's does. The child talks
// back through pipes named in the simulator's settings:
//   descriptor 3  RUK_SIM_KEYS_FD   key characters typed (interactive runs)
//   descriptor 4  RUK_SIM_TRANSCRIPT=/dev/fd/4   the transcript's lines
//   descriptor 5  RUK_SIM_LCD_DOTS=/dev/fd/5     every screen's pixels
// and its standard output and error arrive on a fourth pipe.
#pragma once

#include <string>
#include <vector>

#include "tools/sim_options.h"

namespace ruk_sim {

// Exit statuses of ruk-sim besides the program's own (0 ended, 1 bad
// command line, 99 restarted the phone, 98 a bad simulator setting, 97 the
// program broke a device's rules):
constexpr int exit_usage = 2;      // ruk-sim's own command line or set-up
constexpr int exit_timeout = 124;  // a scripted run stopped by --timeout
constexpr int exit_left = 130;     // the person left while the program ran

// How the session meets the person.
struct console {
  bool draw = false;      // draw the panel in the terminal on standard output
  bool keyboard = false;  // read the keyboard as the keypad (interactive)
  int width = 0;          // the terminal's size when it cannot be asked
  int height = 0;
};

// Decides the console from the options and the standard descriptors. On a
// mistake (an interactive run without a terminal) returns false with a
// message in *error.
bool choose_console(const options& opts, console* c, std::string* error);

// The environment of one start of the program: ruk-sim's own (from), less
// the settings ruk-sim decides, plus those. An interactive run has the flash
// as slow as a NOR chip (RUK_SIM_FLASH_TIMING=nor), unless from sets it, so
// that the person sees how long erasing and writing take on a phone.
std::vector<std::string> program_environment(const options& opts, const console& c,
                                             bool with_script, char** from);

// Runs the session; returns ruk-sim's exit status.
int run_session(const options& opts, const console& c);

}  // namespace ruk_sim
