// aes_keystream: the AES counter-mode keystream (RFC 3711 section 4.1.1).
#pragma once

#include "crypto/aes_cipher.h"
#include "lib/str.h"

// Replaces out with len bytes of keystream: the encryptions of the counter
// values c, c + 1, c + 2 ... (modulo 2^128) one after the other, where c is
// the first 16 bytes of ctx.counter_block read as a big-endian number. The
// counter is a LibTomMath integer local to the call; ctx.counter_block is
// not advanced, so two calls give the same keystream.
//
// False, and out empty, when len is negative, ctx is not keyed,
// ctx.counter_block holds fewer than 16 bytes, or a LibTomMath operation
// fails (out of memory): a caller never receives bytes that are not the
// keystream. len 0 gives an empty out and true.
[[nodiscard]] bool aes_encrypt_block(aes_ctx& ctx, str& out, int len);
