// The command line of ruk-sim, read and checked before anything starts, so
// that every mistake gets a message naming it instead of a half-run.
//
//   ruk-sim [--state DIR] [--keys SCRIPT | --keys-file FILE] [--png FILE]
//           [--transcript FILE] [--net host] [--timeout SECONDS]
//           [--verbose] [--program PATH] [-- RUK-ARGUMENTS...]
#pragma once

#include <string>
#include <vector>

namespace ruk_sim {

// Where ruk-sim finds what it runs, fixed when it is built.
struct installation {
  std::string program;   // the simulated build of ruk
  std::string safe_run;  // scripts/safe-run
};

struct options {
  std::string program;
  std::string safe_run;
  std::string state_dir;
  bool state_dir_given = false;  // a missing folder is an error only then
  bool scripted = false;         // --keys or --keys-file
  std::string keys;              // the key script
  std::string png;
  std::string transcript;
  bool host_network = false;
  int timeout_seconds = 0;  // 0: none
  bool verbose = false;
  bool help = false;
  std::vector<std::string> program_args;
};

// A scripted run that is still going after this long is stopped: a failed
// update waits minutes for a key that a script may never press.
constexpr int default_script_timeout = 120;

// The state folder when none is given: $XDG_STATE_HOME/ruk-sim, else
// $HOME/.local/state/ruk-sim; "" when neither variable is set.
std::string default_state_dir();

// Reads args (the words after the program's name). On a mistake returns
// false with a message in *error.
bool parse(const std::vector<std::string>& args, const installation& where, options* opts,
           std::string* error);

// Checks what parse cannot: the state folder (made when it is the default),
// the program (it must be a simulated build), the key script, the folders of
// the output files. On a mistake returns false with a message in *error.
bool check(options* opts, std::string* error);

// The usage lines, and the whole help (usage, options, keys, exit status).
std::string usage();
std::string help();

}  // namespace ruk_sim
