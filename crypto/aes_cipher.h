// aes_cipher: the AES block cipher of FIPS-197 over str values, for 128-,
// 192- and 256-bit keys.
//
// A context is keyed by aes_init and then encrypts and decrypts single
// 16-byte blocks. The state is filled column by column from the input bytes
// in order, and the output bytes come out in the same order, so nothing here
// depends on the machine's byte order.
//
// A context that is not keyed (default-constructed, or after a failed
// aes_init) refuses to work: every operation on it returns false.
//
// Copying: aes_ctx is a plain value. The key schedule lives inside the
// context, and the str members share buffers copy-on-write, so a copy is a
// complete, independent context (a deep copy in effect); keying or deriving
// on the copy never affects the original. Not thread-safe: the cipher keeps
// its round counter in the context.
#pragma once

#include <stdint.h>

#include "lib/str.h"

struct aes_ctx {
  static constexpr int max_rounds = 14;
  static constexpr int schedule_bytes = 16 * (max_rounds + 1);

  int Nb = 4;     // columns of the state
  int Nk = 0;     // key length in 32-bit words: 4, 6 or 8; 0 when not keyed
  int Nr = 0;     // rounds, Nk + 6; 0 when not keyed
  int round = 0;  // the cipher's working round counter
  str key;        // the cipher key given to aes_init
  // Nb·(Nr + 1) words of four bytes each, in FIPS-197 order.
  uint8_t schedule[schedule_bytes] = {};
  str counter_block;     // start value of the keystream counter (16 bytes)
  str session_key;       // derived session encryption key (16 bytes)
  str session_auth_key;  // derived session authentication key (20 bytes)
  str session_salt;      // derived session salt (16 bytes, the first 14 count)
};

// Keys ctx with key for Nk 32-bit words (4, 6 or 8): sets Nb, Nk, Nr,
// stores the key and builds the schedule. The key must hold exactly 4·Nk
// bytes. On false (bad Nk or key length) ctx is left not keyed: its key
// and schedule are cleared, so it can no longer encrypt with an older key.
[[nodiscard]] bool aes_init(aes_ctx& ctx, const str& key, int Nk);

// Builds ctx's key schedule from ctx.key, ctx.Nk and ctx.Nr, which aes_init
// has set. False, and ctx left not keyed, when they do not describe a valid
// AES key (Nb 4, Nk 4, 6 or 8, Nr = Nk + 6, key of 4·Nk bytes).
[[nodiscard]] bool aes_expand_key(aes_ctx& ctx);

// Encrypts (decrypts) the block made of the first 16 bytes of in; missing
// bytes of a shorter in count as 0. The 16 result bytes overwrite positions
// 0 to 15 of out, which grows to 16 bytes when shorter and keeps any bytes
// after the 16th. in and out may be the same string. The int argument is
// not used. False, with out unchanged, when ctx is not keyed.
[[nodiscard]] bool aes_encrypt(aes_ctx& ctx, const str& in, int, str& out);
[[nodiscard]] bool aes_decrypt(aes_ctx& ctx, const str& in, int, str& out);

// The same cipher on raw blocks, for callers that hold bytes rather than
// strs (the keystream). in and out may be the same block. False, with out
// unchanged, when ctx is not keyed.
[[nodiscard]] bool aes_encrypt_bytes(aes_ctx& ctx, const uint8_t in[16], uint8_t out[16]);

// True when ctx has been keyed by a successful aes_init.
bool aes_keyed(const aes_ctx& ctx);
