// Simulator settings come from the environment, through one table
// (sim/seam/settings.h). Every one that cannot be used ends the run at set-up,
// before the program gets anywhere, with a message that names the variable
// and what is wrong with it, and a status of its own: an unknown word for a
// choice (RUK_SIM_CLOCK, RUK_SIM_REBOOT ...), a number out of its range, a
// script, size or fault its model cannot read, a transcript file that cannot
// be opened for appending.
#pragma once

#include <string>

#include "sim/models/transcript_format.h"

namespace sim {

// Exit status of a run stopped by a bad simulator setting.
constexpr int setting_error_status = transcript_format::status::setting_error;

// Writes "ruk-sim: VARIABLE: message" to standard error and ends the process.
[[noreturn]] void setting_error(const char* variable, const std::string& message);

}  // namespace sim
