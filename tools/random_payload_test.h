// Payloads for the image tests: the same bytes for the same seed on every
// machine.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <random>
#include <vector>

inline std::vector<uint8_t> random_payload(size_t size, unsigned seed) {
  std::mt19937 generator(seed);
  std::vector<uint8_t> b(size);
  for (auto& x : b) x = static_cast<uint8_t>(generator());
  return b;
}
