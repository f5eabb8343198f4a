#include "sim/seam/restart.h"

#include <errno.h>
#include <unistd.h>

#include "sim/models/transcript_format.h"
#include "sim/seam/run_end.h"
#include "sim/seam/settings.h"
#include "sim/seam/settle.h"
#include "sim/seam/transcript.h"

namespace sim {

namespace kind = transcript_format::kind;

namespace {
int fails = -1;  // -1: not yet taken from the settings
}

void set_reboot_fails(bool f) {
  fails = f ? 1 : 0;
}

}  // namespace sim

extern "C" int __wrap_reboot(int command) {
  using namespace sim;
  settle();
  if (fails < 0) {
    fails = settings::is(setting::reboot, "fail") ? 1 : 0;
  }
  unsigned asked = static_cast<unsigned>(command);
  if (fails == 1) {
    transcript(kind::restart, transcript_format::restart_refused_text(asked));
    errno = EPERM;
    return -1;
  }
  check_run_end(false);
  transcript(kind::restart, transcript_format::restart_text(asked));
  _exit(transcript_format::status::restart);
}
