// aes_keystream: the counter is a LibTomMath integer, built from and written
// back to bytes with shifts by whole bytes, so that the byte order on the
// wire is the same on every machine.
#include "crypto/aes_keystream.h"

#include <limits.h>
#include <string.h>
#include <tommath.h>

// A byte is added to the counter as one digit.
static_assert(MP_DIGIT_BIT >= 8, "a LibTomMath digit must hold a byte");

namespace {

// An mp_int cleared on every way out; live only once mp_init succeeded.
class counter_int {
 public:
  counter_int() : value(), live(mp_init(&value) == MP_OKAY) {}
  ~counter_int() {
    if (live) mp_clear(&value);
  }
  counter_int(const counter_int&) = delete;
  counter_int& operator=(const counter_int&) = delete;

  mp_int value;
  bool live;
};

// value := the 16 bytes read as a big-endian number.
bool read_counter(const uint8_t bytes[16], mp_int* value) {
  mp_zero(value);
  for (int i = 0; i < 16; ++i) {
    if (mp_mul_2d(value, 8, value) != MP_OKAY) return false;
    if (mp_add_d(value, bytes[i], value) != MP_OKAY) return false;
  }
  return true;
}

// bytes := value (below 2^128) as 16 big-endian bytes, zero-padded in front;
// scratch is overwritten.
bool write_counter(const mp_int* value, mp_int* scratch, uint8_t bytes[16]) {
  if (mp_copy(value, scratch) != MP_OKAY) return false;
  for (int i = 12; i >= 0; i -= 4) {
    uint32_t low = mp_get_mag_u32(scratch);
    bytes[i] = static_cast<uint8_t>(low >> 24);
    bytes[i + 1] = static_cast<uint8_t>(low >> 16);
    bytes[i + 2] = static_cast<uint8_t>(low >> 8);
    bytes[i + 3] = static_cast<uint8_t>(low);
    if (mp_div_2d(scratch, 32, scratch, nullptr) != MP_OKAY) return false;
  }
  return true;
}

bool increment_counter(mp_int* value) {
  return mp_add_d(value, 1, value) == MP_OKAY && mp_mod_2d(value, 128, value) == MP_OKAY;
}

bool fill_keystream(aes_ctx& ctx, const uint8_t start[16], uint8_t* out, int blocks) {
  counter_int counter;
  counter_int scratch;
  if (!counter.live || !scratch.live) return false;
  if (!read_counter(start, &counter.value)) return false;
  for (int i = 0; i < blocks; ++i) {
    uint8_t block[16];
    if (!write_counter(&counter.value, &scratch.value, block)) return false;
    if (!aes_encrypt_bytes(ctx, block, out + 16 * static_cast<size_t>(i))) return false;
    if (!increment_counter(&counter.value)) return false;
  }
  return true;
}

}  // namespace

bool aes_encrypt_block(aes_ctx& ctx, str& out, int len) {
  bool usable =
      len >= 0 && len <= INT_MAX - 15 && aes_keyed(ctx) && ctx.counter_block.length() >= 16;
  // Read before out is cleared: out may be ctx.counter_block itself.
  uint8_t start[16];
  if (usable) memcpy(start, ctx.counter_block.data(), sizeof start);
  out = str::empty;
  if (!usable) return false;
  if (len == 0) return true;
  int n = (len + 15) / 16 * 16;
  str stream(nullptr, n);
  uint8_t* bytes = reinterpret_cast<uint8_t*>(stream.ref->bytes + stream.start);
  if (!fill_keystream(ctx, start, bytes, n / 16)) return false;
  out = stream.substr(0, len);
  return true;
}
