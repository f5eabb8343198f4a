// Simulator settings come from the environment. One that cannot be used ends
// the run before the program gets anywhere, with a message that names the
// variable and what is wrong with it, and a status of its own.
#pragma once

#include <string>

#include "sim/models/transcript_format.h"

namespace sim {

// Exit status of a run stopped by a bad simulator setting.
constexpr int setting_error_status = transcript_format::status::setting_error;

// Writes "ruk-sim: VARIABLE: message" to standard error and ends the process.
[[noreturn]] void setting_error(const char* variable, const std::string& message);

}  // namespace sim
