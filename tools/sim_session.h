// One ruk-sim session: the simulated program started (tools/program_start.h)
// as often as the person asks, its keypad fed from the keyboard or a script,
// its panel and events shown on the console (tools/console.h): drawn in the
// terminal or, with no terminal, printed as lines.
#pragma once

#include <string>

#include "tools/console.h"
#include "tools/sim_options.h"

namespace ruk_sim {

// Exit statuses of ruk-sim besides the program's own (0 ended, 1 bad
// command line) and the simulator's (transcript_format::status: the
// restart, a bad simulator setting, a device's rules broken):
constexpr int exit_usage = 2;      // ruk-sim's own command line or set-up
constexpr int exit_timeout = 124;  // a scripted run stopped by --timeout
constexpr int exit_left = 130;     // the person left while the program ran

// Decides the console from the options and the standard descriptors. On a
// mistake (an interactive run without a terminal) returns false with a
// message in *error.
bool choose_console(const options& opts, console_mode* c, std::string* error);

// Runs the session; returns ruk-sim's exit status.
int run_session(const options& opts, const console_mode& c);

}  // namespace ruk_sim
