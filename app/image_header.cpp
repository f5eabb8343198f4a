#include "app/image_header.h"

uint32_t image_word(const str& bytes, int offset) {
  uint32_t word = 0;
  for (int i = 0; i < 4; ++i) {
    word = word << 8 | static_cast<unsigned char>(bytes.get_character(offset + i));
  }
  return word;
}

uint32_t image_sum(const str& payload, unsigned long length) {
  unsigned long n = static_cast<unsigned long>(payload.length());
  if (length < n) n = length;
  n /= 4;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(payload.data());
  uint32_t sum = 0;
  for (unsigned long i = 0; i < n; ++i, p += 4) {
    sum += static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
  }
  return sum;
}
