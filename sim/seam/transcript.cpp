#include "sim/seam/transcript.h"

#include <stdio.h>
#include <stdlib.h>

#include "sim/models/transcript_format.h"
#include "sim/seam/clock.h"

namespace sim {
namespace {

struct log {
  std::vector<std::string> lines;
  FILE* out = nullptr;
  bool opened = false;
  void (*observer)(const std::string& kind, const std::string& text) = nullptr;
};

log& the_log() {
  static log* l = new log;  // usable from static destructors too
  if (!l->opened) {
    l->opened = true;
    const char* path = getenv("RUK_SIM_TRANSCRIPT");
    if (path != nullptr && *path != 0) l->out = fopen(path, "a");
  }
  return *l;
}

}  // namespace

void transcript(const std::string& kind, const std::string& text) {
  log& l = the_log();
  l.lines.push_back(kind + "\t" + text);
  if (l.out != nullptr) {
    std::string line = transcript_format::join(static_cast<long>(clock::elapsed_us() / 1000), kind, text);
    fprintf(l.out, "%s\n", line.c_str());
    fflush(l.out);
  }
  if (l.observer != nullptr) l.observer(kind, text);
}

const std::vector<std::string>& transcript_lines() { return the_log().lines; }

void transcript_clear() { the_log().lines.clear(); }

void transcript_observe(void (*f)(const std::string& kind, const std::string& text)) {
  the_log().observer = f;
}

}  // namespace sim
