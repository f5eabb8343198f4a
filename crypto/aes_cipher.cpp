// aes_cipher: key expansion, cipher and inverse cipher, byte-oriented.
#include "crypto/aes_cipher.h"

#include <string.h>

#include "crypto/aes_tables.h"

namespace {

// The state as 16 bytes, column by column: byte r of column c is s[4c + r].
typedef uint8_t block_t[16];

void forget_key(aes_ctx& ctx) {
  ctx.Nk = 0;
  ctx.Nr = 0;
  ctx.key = str::empty;
  memset(ctx.schedule, 0, sizeof ctx.schedule);
}

void add_round_key(block_t s, const aes_ctx& ctx) {
  const uint8_t* w = ctx.schedule + 16 * static_cast<size_t>(ctx.round);
  for (int i = 0; i < 16; ++i) s[i] ^= w[i];
}

// Where ShiftRows takes each byte of the state from: row r of column c
// comes from column c + r. InvShiftRows is the inverse permutation.
constexpr uint8_t shift_source[16] = {0, 5, 10, 15, 4, 9, 14, 3, 8, 13, 2, 7, 12, 1, 6, 11};
constexpr uint8_t inv_shift_source[16] = {0, 13, 10, 7, 4, 1, 14, 11, 8, 5, 2, 15, 12, 9, 6, 3};

// SubBytes and ShiftRows together (they commute).
void sub_shift(block_t s) {
  block_t t;
  for (int i = 0; i < 16; ++i) t[i] = aes_table.sbox[s[shift_source[i]]];
  memcpy(s, t, sizeof t);
}

void inv_shift_sub(block_t s) {
  block_t t;
  for (int i = 0; i < 16; ++i) t[i] = aes_table.inv_sbox[s[inv_shift_source[i]]];
  memcpy(s, t, sizeof t);
}

void mix_columns(block_t s) {
  for (size_t c = 0; c < 4; ++c) {
    uint8_t* a = s + 4 * c;
    uint8_t all = static_cast<uint8_t>(a[0] ^ a[1] ^ a[2] ^ a[3]);
    uint8_t first = a[0];
    // b_r = 2·a_r ^ 3·a_(r+1) ^ a_(r+2) ^ a_(r+3) = a_r ^ all ^ 2·(a_r ^ a_(r+1))
    a[0] ^= static_cast<uint8_t>(all ^ aes_xtime(static_cast<uint8_t>(a[0] ^ a[1])));
    a[1] ^= static_cast<uint8_t>(all ^ aes_xtime(static_cast<uint8_t>(a[1] ^ a[2])));
    a[2] ^= static_cast<uint8_t>(all ^ aes_xtime(static_cast<uint8_t>(a[2] ^ a[3])));
    a[3] ^= static_cast<uint8_t>(all ^ aes_xtime(static_cast<uint8_t>(a[3] ^ first)));
  }
}

void inv_mix_columns(block_t s) {
  const aes_tables& t = aes_table;
  for (size_t c = 0; c < 4; ++c) {
    uint8_t* a = s + 4 * c;
    uint8_t a0 = a[0], a1 = a[1], a2 = a[2], a3 = a[3];
    a[0] = static_cast<uint8_t>(t.mul14[a0] ^ t.mul11[a1] ^ t.mul13[a2] ^ t.mul9[a3]);
    a[1] = static_cast<uint8_t>(t.mul9[a0] ^ t.mul14[a1] ^ t.mul11[a2] ^ t.mul13[a3]);
    a[2] = static_cast<uint8_t>(t.mul13[a0] ^ t.mul9[a1] ^ t.mul14[a2] ^ t.mul11[a3]);
    a[3] = static_cast<uint8_t>(t.mul11[a0] ^ t.mul13[a1] ^ t.mul9[a2] ^ t.mul14[a3]);
  }
}

// The cipher works on its own copy of the block: the caller's bytes might
// alias the context, which would make the compiler reload the schedule and
// the round counter after every byte written.
void cipher(aes_ctx& ctx, block_t block) {
  block_t s;
  memcpy(s, block, sizeof s);
  ctx.round = 0;
  add_round_key(s, ctx);
  for (ctx.round = 1; ctx.round < ctx.Nr; ++ctx.round) {
    sub_shift(s);
    mix_columns(s);
    add_round_key(s, ctx);
  }
  sub_shift(s);
  add_round_key(s, ctx);
  memcpy(block, s, sizeof s);
}

void inv_cipher(aes_ctx& ctx, block_t block) {
  block_t s;
  memcpy(s, block, sizeof s);
  ctx.round = ctx.Nr;
  add_round_key(s, ctx);
  for (ctx.round = ctx.Nr - 1; ctx.round > 0; --ctx.round) {
    inv_shift_sub(s);
    add_round_key(s, ctx);
    inv_mix_columns(s);
  }
  inv_shift_sub(s);
  add_round_key(s, ctx);
  memcpy(block, s, sizeof s);
}

// The first 16 bytes of in, zero-filled when it is shorter.
void load_block(const str& in, block_t s) {
  int n = in.length() < 16 ? in.length() : 16;
  memset(s, 0, 16);
  if (n > 0) memcpy(s, in.data(), static_cast<size_t>(n));
}

void store_block(const block_t s, str& out) {
  // Writing the last byte first makes out private and at least 16 long.
  out.set_character(15, static_cast<char>(s[15]));
  memcpy(out.ref->bytes + out.start, s, 15);
}

}  // namespace

bool aes_keyed(const aes_ctx& ctx) {
  return ctx.Nb == 4 && (ctx.Nk == 4 || ctx.Nk == 6 || ctx.Nk == 8) && ctx.Nr == ctx.Nk + 6;
}

bool aes_init(aes_ctx& ctx, const str& key, int Nk) {
  ctx.Nb = 4;
  ctx.Nk = Nk;
  ctx.Nr = Nk + 6;
  ctx.key = key;
  return aes_expand_key(ctx);
}

bool aes_expand_key(aes_ctx& ctx) {
  if (!aes_keyed(ctx) || ctx.key.length() != 4 * ctx.Nk) {
    forget_key(ctx);
    return false;
  }
  uint8_t* w = ctx.schedule;
  const size_t Nk = static_cast<size_t>(ctx.Nk);
  const size_t words = static_cast<size_t>(ctx.Nb) * static_cast<size_t>(ctx.Nr + 1);
  memcpy(w, ctx.key.data(), 4 * Nk);
  for (size_t i = Nk; i < words; ++i) {
    uint8_t temp[4];
    memcpy(temp, w + 4 * (i - 1), 4);
    if (i % Nk == 0) {
      // SubWord(RotWord(temp)) ^ Rcon[i / Nk]
      uint8_t first = temp[0];
      temp[0] = static_cast<uint8_t>(aes_table.sbox[temp[1]] ^ aes_table.rcon[i / Nk]);
      temp[1] = aes_table.sbox[temp[2]];
      temp[2] = aes_table.sbox[temp[3]];
      temp[3] = aes_table.sbox[first];
    } else if (Nk > 6 && i % Nk == 4) {
      for (uint8_t& b : temp) b = aes_table.sbox[b];
    }
    for (size_t j = 0; j < 4; ++j)
      w[4 * i + j] = static_cast<uint8_t>(w[4 * (i - Nk) + j] ^ temp[j]);
  }
  memset(w + 4 * words, 0, sizeof ctx.schedule - 4 * words);
  return true;
}

bool aes_encrypt_bytes(aes_ctx& ctx, const uint8_t in[16], uint8_t out[16]) {
  if (!aes_keyed(ctx)) return false;
  block_t s;
  memcpy(s, in, sizeof s);
  cipher(ctx, s);
  memcpy(out, s, sizeof s);
  return true;
}

bool aes_encrypt(aes_ctx& ctx, const str& in, int, str& out) {
  if (!aes_keyed(ctx)) return false;
  block_t s;
  load_block(in, s);
  cipher(ctx, s);
  store_block(s, out);
  return true;
}

bool aes_decrypt(aes_ctx& ctx, const str& in, int, str& out) {
  if (!aes_keyed(ctx)) return false;
  block_t s;
  load_block(in, s);
  inv_cipher(ctx, s);
  store_block(s, out);
  return true;
}
