// One start of the simulated program as ruk-sim's child process: its
// command line, its environment and its descriptors side by side.
//
// The program runs as a child process rather than in ruk-sim's own process:
// it is then started exactly as tests start it (through scripts/safe-run,
// without the rights to set the clock or restart); its exit and its restart
// end only the child; its standard output cannot disturb the picture; and a
// second run after a restart starts from a fresh process, as the phone's
// does. The child talks back through pipes named in the simulator's
// settings:
//   descriptor 3  RUK_SIM_KEYS_FD=3              key characters typed (interactive runs)
//   descriptor 4  RUK_SIM_TRANSCRIPT=/dev/fd/4   the transcript's lines
//   descriptor 5  RUK_SIM_LCD_DOTS=/dev/fd/5     every screen's pixels (when drawn)
// and its standard output and error arrive on a fourth pipe; its standard
// input is /dev/null.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "tools/console.h"
#include "tools/sim_options.h"

namespace ruk_sim {

// The environment of one start of the program: ruk-sim's own (from), less
// the settings ruk-sim decides, plus those. An interactive run has the flash
// as slow as a NOR chip (RUK_SIM_FLASH_TIMING=nor), unless from sets it, so
// that the person sees how long erasing and writing take on a phone.
std::vector<std::string> program_environment(const options& opts, const console_mode& c,
                                             bool with_script, char** from);

// The program while it runs: its process and ruk-sim's ends of the pipes
// (-1 when closed or not made), which the holder closes as each stream ends.
struct child {
  pid_t pid = -1;
  int keys = -1;  // write end: typed keys (interactive runs)
  int transcript = -1;
  int dots = -1;  // when the panel is drawn
  int output = -1;
  bool exited = false;
  int status = -1;  // the exit status, or 128 + signal

  // Starts the program of opts in a process group of its own, with the
  // key script of opts when with_script. On failure returns false with a
  // message in *error and nothing left open.
  bool start(const options& opts, const console_mode& c, bool with_script, std::string* error);
  // Collects the exit once it has come (waiting for it when wait), and
  // closes the keys' pipe.
  void reap(bool wait);
  // Sends signal_number to the program's process group while it runs.
  void signal_group(int signal_number);
};

// Closes *fd if open and marks it closed.
void close_fd(int* fd);

}  // namespace ruk_sim
