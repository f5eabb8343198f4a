#include "sim/seam/setting_error.h"

#include <stdio.h>
#include <unistd.h>

#include "sim/models/transcript_format.h"

namespace sim {

void setting_error(const char* variable, const std::string& message) {
  fflush(stdout);
  fprintf(stderr, "ruk-sim: %s: %s\n", variable, message.c_str());
  fflush(stderr);
  _exit(transcript_format::status::setting_error);
}

}  // namespace sim
