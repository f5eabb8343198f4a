// What the process does when memory runs out: it ends. The program holds no
// state worth saving halfway, and a string, timer list or image that went on
// without the memory it asked for would corrupt what it touched next.
#pragma once

#include <stdint.h>

// Writes "ruk: out of memory (N bytes wanted)" to standard error and ends the
// process with status 255. Never returns. (Defined in lib/str_pool.cpp, beside
// the allocator that most often needs it.)
[[noreturn]] void out_of_memory(long long bytes);

// bytes as the size of one buffer. A count above what a 32-bit size holds
// (a caller's count plus what is added to it) cannot be allocated either, so
// it takes the same way out instead of wrapping around to a small size.
inline int32_t checked_size(long long bytes) {
  if (bytes > INT32_MAX) out_of_memory(bytes);
  return static_cast<int32_t>(bytes);
}
