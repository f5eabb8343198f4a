// srtp_kdf: the three labels of one derivation, then the switch of the
// context to the session key. The results are committed only when all three
// keystreams were produced, so a failure leaves the context untouched.
#include "crypto/srtp_kdf.h"

#include "crypto/aes_keystream.h"

namespace {

// The salt followed by two zero bytes, as a 16-byte block.
str salt_block(const str& salt) {
  str block = salt.substr(0, 14);
  block.set_character(15, 0);
  block.set_character(14, 0);
  return block;
}

bool keystream_for_label(aes_ctx& ctx, const str& salt, int label, int len, str& out) {
  ctx.counter_block = salt_block(salt);
  ctx.counter_block.set_character(7, static_cast<char>(salt.get_character(7) ^ label));
  return aes_encrypt_block(ctx, out, len);
}

bool derive(aes_ctx& ctx, const str& master_salt, int key_label, int salt_label, int auth_label) {
  if (master_salt.length() < 14 || !aes_keyed(ctx)) return false;
  // A copy, because master_salt may be ctx.counter_block, which changes below.
  const str salt = master_salt;  // NOLINT(performance-unnecessary-copy-initialization)
  const str saved_counter = ctx.counter_block;
  str key, session_salt, auth_key;
  if (!keystream_for_label(ctx, salt, key_label, 16, key) ||
      !keystream_for_label(ctx, salt, salt_label, 16, session_salt) ||
      !keystream_for_label(ctx, salt, auth_label, 20, auth_key)) {
    ctx.counter_block = saved_counter;
    return false;
  }
  ctx.session_key = key;
  ctx.session_salt = session_salt;
  ctx.session_auth_key = auth_key;
  static_cast<void>(aes_init(ctx, key, 4));  // cannot fail: the key is 16 bytes
  ctx.counter_block = salt_block(session_salt);
  return true;
}

}  // namespace

bool srtp_derive_keys(aes_ctx& ctx, const str& master_salt) {
  return derive(ctx, master_salt, 0, 2, 1);
}

bool srtcp_derive_keys(aes_ctx& ctx, const str& master_salt) {
  return derive(ctx, master_salt, 3, 5, 4);
}
