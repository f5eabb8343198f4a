#include "sim/seam/transcript.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include "sim/models/transcript_format.h"
#include "sim/seam/clock.h"
#include "sim/seam/fd_table.h"
#include "sim/seam/settings.h"

namespace sim {
namespace {

struct log {
  std::vector<std::string> lines;
  FILE* out = nullptr;
  bool opened = false;
  void (*observer)(const std::string& kind, const std::string& text) = nullptr;
};

// The transcript's file, opened for appending; nullptr when none is set.
FILE* open_file() {
  if (!settings::given(setting::transcript)) return nullptr;
  const std::string& path = settings::value(setting::transcript);
  FILE* f = fopen(path.c_str(), "a");
  if (f == nullptr) {
    std::string why = strerror(errno);
    settings::refuse(setting::transcript, "cannot open " + path + " for appending: " + why);
  }
  return f;
}

log& the_log() {
  static log* l = new log;  // usable from static destructors too
  if (!l->opened) {
    l->opened = true;
    l->out = open_file();
  }
  return *l;
}

// A run whose transcript cannot be written stops at set-up, before the
// program starts. The file is kept open only from the first line on, so that
// until then the program's descriptors are numbered as in a run without one.
setup_registration check_at_setup([] {
  if (FILE* f = open_file()) fclose(f);
});

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

std::vector<std::string> transcript_texts(const std::string& kind) {
  std::vector<std::string> texts;
  std::string prefix = kind + "\t";
  for (const std::string& line : the_log().lines) {
    if (line.compare(0, prefix.size(), prefix) == 0) texts.push_back(line.substr(prefix.size()));
  }
  return texts;
}

void transcript_clear() { the_log().lines.clear(); }

void transcript_observe(void (*f)(const std::string& kind, const std::string& text)) {
  the_log().observer = f;
}

}  // namespace sim
