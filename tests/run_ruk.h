// Runs the simulated ruk as a process, the way a test watches the phone: with
// a command line, simulator settings in the environment, and its transcript,
// standard output, standard error and exit status read back afterwards.
//
// The program is started through scripts/safe-run (no right to set the clock
// or restart; a network namespace of its own), under the emulator that
// RUK_EMULATOR names in a cross build, on the virtual clock unless a test
// says otherwise. A run that has not ended after limit_seconds of real
// time is killed (signal set), so a hanging program fails its test instead
// of the suite.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "sim/models/transcript_format.h"

namespace ruk_test {

struct run_options {
  std::vector<std::string> args;                         // after the program name
  std::vector<std::pair<std::string, std::string>> env;  // added to the environment
  std::string keys;                                      // RUK_SIM_KEYS, if not empty
  bool virtual_clock = true;                             // RUK_SIM_CLOCK=virtual
  bool close_stdin = false;  // start with descriptor 0 closed (else /dev/null)
  bool stdout_unread = false;  // descriptor 1 a pipe whose reading end is closed
  std::string netns;         // run inside this test namespace (tests/netns.h)
  int limit_seconds = 60;
};

// A line of the transcript: ms, kind and text (sim/models/transcript_format.h).
using transcript_line = transcript_format::line;

// The two text rows of a "screen" line, unquoted ("\"" and "\\" undone;
// the other escapes of the LCD model stay as written).
struct screen {
  std::string top;
  std::string bottom;
  long ms = 0;
};

struct run_result {
  int status = -1;  // exit status; -1 when the process did not exit
  int signal = 0;   // the signal that ended it, 0 if none
  std::string out;
  std::string err;
  std::vector<transcript_line> transcript;

  // The texts of the transcript lines of one kind, in order.
  std::vector<std::string> lines(const std::string& kind) const;
  std::vector<screen> screens() const;
  // Whether the run asked to erase or write a flash partition (reading, as
  // every start-up does, is not changing).
  bool flash_changed() const;
  // The whole transcript as text, for failure messages.
  std::string dump() const;
};

run_result run_ruk(const run_options& options);

// A whole file's bytes (a flash partition the run left); empty when it
// cannot be read.
std::string read_file(const std::string& path);

}  // namespace ruk_test
