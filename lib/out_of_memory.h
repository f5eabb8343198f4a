// What the process does when memory runs out: it ends. The program holds no
// state worth saving halfway, and a string, timer list or image that went on
// without the memory it asked for would corrupt what it touched next.
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <unistd.h>

// Writes "ruk: out of memory (N bytes wanted)" to standard error and ends the
// process with status 255. Never returns.
[[noreturn]] inline void out_of_memory(long long bytes) {
  char message[96];
  int n = snprintf(message, sizeof message, "ruk: out of memory (%lld bytes wanted)\n", bytes);
  if (write(2, message, static_cast<size_t>(n)) < 0) {
    // Nothing more can be done; the exit below says enough.
  }
  _exit(255);
}

// bytes as the size of one buffer. A count above what a 32-bit size holds
// (a caller's count plus what is added to it) cannot be allocated either, so
// it takes the same way out instead of wrapping around to a small size.
inline int32_t checked_size(long long bytes) {
  if (bytes > INT32_MAX) out_of_memory(bytes);
  return static_cast<int32_t>(bytes);
}
