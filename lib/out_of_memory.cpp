#include "lib/out_of_memory.h"

#include <stdio.h>
#include <unistd.h>

void out_of_memory(long long bytes) {
  char message[96];
  int n = snprintf(message, sizeof message, "ruk: out of memory (%lld bytes wanted)\n", bytes);
  if (write(2, message, static_cast<size_t>(n)) < 0) {
    // Nothing more can be done; the exit below says enough.
  }
  _exit(255);
}
