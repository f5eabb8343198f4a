// aes_tables: computed at compile time from the field's exponent and
// logarithm tables.
#include "crypto/aes_tables.h"

namespace {

constexpr uint8_t rotl8(uint8_t x, int n) {
  return static_cast<uint8_t>((x << n) | (x >> (8 - n)));
}

constexpr uint8_t field_mul(const aes_tables& t, uint8_t a, uint8_t b) {
  if (a == 0 || b == 0) return 0;
  return t.exp[(t.log[a] + t.log[b]) % 255];
}

constexpr aes_tables build_tables() {
  aes_tables t{};
  // 3 generates the multiplicative group: 3·x = x ^ 2·x.
  uint8_t x = 1;
  for (int i = 0; i < 255; ++i) {
    t.exp[i] = x;
    t.log[x] = static_cast<uint8_t>(i);
    x = static_cast<uint8_t>(x ^ aes_xtime(x));
  }
  t.exp[255] = t.exp[0];

  for (int v = 0; v < 256; ++v) {
    uint8_t b = v == 0 ? 0 : t.exp[(255 - t.log[v]) % 255];  // inverse; 0 maps to 0
    uint8_t s =
        static_cast<uint8_t>(b ^ rotl8(b, 1) ^ rotl8(b, 2) ^ rotl8(b, 3) ^ rotl8(b, 4) ^ 0x63);
    t.sbox[v] = s;
    t.inv_sbox[s] = static_cast<uint8_t>(v);
  }

  uint8_t r = 1;
  for (int i = 1; i < 11; ++i) {
    t.rcon[i] = r;
    r = aes_xtime(r);
  }

  for (int v = 0; v < 256; ++v) {
    uint8_t u = static_cast<uint8_t>(v);
    t.mul9[v] = field_mul(t, u, 9);
    t.mul11[v] = field_mul(t, u, 11);
    t.mul13[v] = field_mul(t, u, 13);
    t.mul14[v] = field_mul(t, u, 14);
  }
  return t;
}

}  // namespace

constexpr aes_tables aes_table = build_tables();

// The S-box's first entry and the worked example of FIPS-197 5.1.1.
static_assert(aes_table.sbox[0x00] == 0x63 && aes_table.sbox[0x53] == 0xed,
              "S-box does not match FIPS-197");
