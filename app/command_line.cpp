#include "app/command_line.h"

#include <string.h>
#include <unistd.h>

namespace {

// The defaults this text names are the ones of the phone's other programs,
// not this one's.
const char usage_text[] =
    "usage: ruk\n"
    "--device d: set audio device name (default is /dev/audio)\n"
    "--host <host>: work as client (use this option for every possible host)\n"
    "--keyboard d: set keyboard device name (default is /dev/kbd)\n"
    "--display d: set display device name (default is /dev/tolvdisp)\n"
    "--port n: use socket n for communication (default is 1298)\n";
static_assert(sizeof usage_text - 1 == 325, "the usage text is 325 bytes");

bool is(const char* word, const char* option) {
  return strcmp(word, option) == 0;
}

}  // namespace

bool read_command_line(int argc, char** argv, command_line& options) {
  for (int i = 1; i < argc; i += 2) {
    const char* option = argv[i];
    if (i + 1 >= argc) return false;
    const char* value = argv[i + 1];
    bool empty = value[0] == 0;
    if (is(option, "--device") || is(option, "--host")) {
      if (empty) return false;
    } else if (is(option, "--keyboard")) {
      if (empty) return false;
      options.keyboard = value;
    } else if (is(option, "--display")) {
      if (empty) return false;
      options.display = value;
    } else if (!is(option, "--port")) {
      return false;
    }
  }
  return true;
}

void print_usage() {
  ssize_t written = write(2, usage_text, sizeof usage_text - 1);
  (void)written;  // nothing better to do when standard error is gone
}
