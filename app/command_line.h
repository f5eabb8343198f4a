// The command line: the phone's start-up script may pass the options of the
// phone's other programs, so all five are accepted; only the keypad and the
// display paths are used.
#pragma once

// The paths the command line chose; the defaults unless an option names
// others. The texts belong to argv.
struct command_line {
  const char* keyboard = "/dev/keypad";
  const char* display = "/dev/inca-port";
};

// Reads the words after the program name: --device, --host, --keyboard and
// --display each with a non-empty value, --port with any value; a later
// occurrence overrides an earlier one. False for any other word, an option
// without a following word, or an empty value where one is needed.
bool read_command_line(int argc, char** argv, command_line& options);

// Writes the usage text to descriptor 2 in one write of 325 bytes.
void print_usage();
