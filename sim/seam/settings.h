// The simulator's settings as this run has them: the environment is read
// once, at the first question, through the table (sim/seam/settings_table.h).
// A value the table can judge and cannot use stops the run right there
// (sim/seam/setting_error.h): a choice that is none of its words, a number
// that is none or out of its range. What only a model can judge (a key
// script, a size, a fault) the model judges at its set-up, or when it first
// needs it (a partition file's size against its setting), and a bad value
// stops the run through refuse().
#pragma once

#include <string>
#include <vector>

#include "sim/seam/settings_table.h"

namespace sim {
namespace settings {

// The value; the row's default when the variable is unset or empty.
const std::string& value(setting s);
// Whether the variable is set to something other than "".
bool given(setting s);
// A choice: whether the value is word.
bool is(setting s, const char* word);
// A number: its value; 0 when not given.
long number(setting s);
// A list: its entries as written (empty ones too); none when not given.
std::vector<std::string> list(setting s);

// Ends the run: "ruk-sim: NAME: why" and the setting error's status.
[[noreturn]] void refuse(setting s, const std::string& why);

}  // namespace settings

// Every entry of text between separators, as written, empty ones included:
// "" is one empty entry.
std::vector<std::string> split_list(const std::string& text, char separator = ',');

}  // namespace sim
