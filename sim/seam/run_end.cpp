#include "sim/seam/run_end.h"

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <vector>

#include "sim/models/transcript_format.h"
#include "sim/seam/transcript.h"

namespace sim {

namespace kind = transcript_format::kind;

namespace {

std::vector<std::string (*)()>& checks() {
  static auto* list = new std::vector<std::string (*)()>;  // still there at exit
  return *list;
}

struct end_of_run {
  end_of_run() {
    atexit([] {
      check_run_end(true);
      transcript(kind::end, "exit");
    });
  }
};

end_of_run registration;

}  // namespace

void on_run_end(std::string (*check)()) {
  checks().push_back(check);
}

void check_run_end(bool flush_output) {
  std::vector<std::string> faults;
  for (auto check : checks()) {
    std::string fault = check();
    if (!fault.empty()) faults.push_back(fault);
  }
  if (faults.empty()) return;
  for (const std::string& fault : faults) {
    transcript(kind::fault, fault);
    fprintf(stderr, "ruk-sim: %s\n", fault.c_str());
  }
  if (flush_output) fflush(stdout);
  _exit(transcript_format::status::device_fault);
}

}  // namespace sim
