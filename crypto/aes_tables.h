// aes_tables: the process-wide constant tables of the AES cipher.
//
// Everything here is derived from arithmetic in GF(2^8) modulo the AES
// polynomial x^8 + x^4 + x^3 + x + 1 (FIPS-197 section 4): the powers of the
// generator 3 and their logarithms, the S-box (multiplicative inverse
// followed by the affine transformation with the constant 0x63), its
// inverse, the round constants and the products that the inverse
// MixColumns needs. The tables are computed by the compiler, so they stand
// in read-only memory before any code runs and need no start-up order.
#pragma once

#include <stdint.h>

struct aes_tables {
  uint8_t exp[256];  // exp[i] = 3^i; exp[255] = exp[0] = 1
  uint8_t log[256];  // log[3^i] = i for i = 0..254; log[0] is unused (0)
  uint8_t sbox[256];
  uint8_t inv_sbox[256];
  uint8_t rcon[11];   // rcon[i] = 2^(i-1) for i = 1..10; rcon[0] is unused (0)
  uint8_t mul9[256];  // 9·x, 11·x, 13·x and 14·x in GF(2^8)
  uint8_t mul11[256];
  uint8_t mul13[256];
  uint8_t mul14[256];
};

extern const aes_tables aes_table;

// x·2 in GF(2^8): a shift with the reduction by the AES polynomial, without
// a branch on the data (faster, and no timing that depends on the key).
constexpr uint8_t aes_xtime(uint8_t x) {
  return static_cast<uint8_t>((x << 1) ^ (0x1b * (x >> 7)));
}
