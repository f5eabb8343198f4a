// Reading the image's big-endian words, byte by byte, so that the simulated
// build on a little-endian host checks exactly the images the phone checks.
#pragma once

#include <stdint.h>

#include "lib/str.h"

// The 32-bit big-endian word at byte offset of bytes; bytes past the end
// read as 0.
uint32_t image_word(const str& bytes, int offset);

// The sum, modulo 2^32, of the first min(payload length, length) / 4 words of
// payload; 1 to 3 trailing bytes are not summed.
uint32_t image_sum(const str& payload, unsigned long length);
