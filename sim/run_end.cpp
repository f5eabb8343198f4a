// The end of a run in the transcript: a process that ends through exit (or
// by returning from main) writes "end<TAB>exit" as its last line, so that a
// test can read when it ended on the simulated clock. A restart writes its
// own line instead (sim/restart.h).
#include <stdlib.h>

#include "sim/transcript.h"

namespace {

struct end_of_run {
  end_of_run() {
    atexit([] { sim::transcript("end", "exit"); });
  }
};

end_of_run registration;

}  // namespace
