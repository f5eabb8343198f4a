#include "sim/seam/setting_error.h"

#include <stdio.h>
#include <unistd.h>

namespace sim {

void setting_error(const char* variable, const std::string& message) {
  fflush(stdout);
  fprintf(stderr, "ruk-sim: %s: %s\n", variable, message.c_str());
  fflush(stderr);
  _exit(setting_error_status);
}

}  // namespace sim
