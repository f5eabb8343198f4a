// ruk-sim: the simulated ruk as a person uses the phone, in a terminal or
// from a key script.
#include <stdio.h>

#include <string>
#include <vector>

#include "tools/sim_options.h"
#include "tools/sim_session.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  ruk_sim::options opts;
  std::string error;
  ruk_sim::installation where = {RUK_SIM_PROGRAM, RUK_SIM_SAFE_RUN};
  if (!ruk_sim::parse(args, where, &opts, &error)) {
    fprintf(stderr, "ruk-sim: %s\n%s", error.c_str(), ruk_sim::usage().c_str());
    return ruk_sim::exit_usage;
  }
  if (opts.help) {
    fputs(ruk_sim::help().c_str(), stdout);
    return 0;
  }
  ruk_sim::console_mode console;
  if (!ruk_sim::check(&opts, &error) || !ruk_sim::choose_console(opts, &console, &error)) {
    fprintf(stderr, "ruk-sim: %s\n", error.c_str());
    return ruk_sim::exit_usage;
  }
  return ruk_sim::run_session(opts, console);
}
