// Simulator settings come from the environment, through one table
// (sim/seam/settings.h). Every one that cannot be used ends the run with a
// message that names the variable and what is wrong with it, and a status of
// its own (transcript_format::status::setting_error). Most stop it at set-up, before the program gets anywhere: an
// unknown word for a choice (RUK_SIM_CLOCK, RUK_SIM_REBOOT ...), a number out
// of its range, a script, size or fault its model cannot read, a transcript
// file that cannot be opened for appending. A partition size that the
// partition's existing file does not have (RUK_SIM_MTD5_SIZE ...) stops it
// at the partition's first open, where the file is first looked at.
#pragma once

#include <string>

namespace sim {

// Writes "ruk-sim: VARIABLE: message" to standard error and ends the process.
[[noreturn]] void setting_error(const char* variable, const std::string& message);

}  // namespace sim
