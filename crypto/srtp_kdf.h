// srtp_kdf: SRTP and SRTCP session keys from a master key and master salt,
// by the AES counter-mode key derivation of RFC 3711 section 4.3 with a key
// derivation rate of 0 (index 0).
#pragma once

#include "crypto/aes_cipher.h"
#include "lib/str.h"

// ctx must be keyed with the master key (aes_init). Derives, with the
// labels 0, 2 and 1 (SRTP) or 3, 5 and 4 (SRTCP), the 16-byte
// ctx.session_key, the 16-byte ctx.session_salt (its first 14 bytes are the
// salt) and the 20-byte ctx.session_auth_key. Each is the keystream (see
// aes_encrypt_block) for the counter made of the first 14 bytes of
// master_salt, two zero bytes, and byte 7 XORed with the label.
//
// Afterwards ctx is keyed with session_key (AES-128) and ctx.counter_block
// is session_salt with bytes 14 and 15 zeroed, ready for the session's
// keystream.
//
// master_salt must hold at least 14 bytes; bytes past the 14th are ignored.
// It may be one of ctx's own strings. False, with ctx's key, schedule,
// counter_block and session strings as before, when the salt is shorter,
// ctx is not keyed, or a LibTomMath operation fails.
[[nodiscard]] bool srtp_derive_keys(aes_ctx& ctx, const str& master_salt);
[[nodiscard]] bool srtcp_derive_keys(aes_ctx& ctx, const str& master_salt);
