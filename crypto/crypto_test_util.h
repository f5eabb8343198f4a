// Helpers for the crypto tests: hexadecimal in and out, and OpenSSL as the
// independent reference cipher.
#pragma once

#include <openssl/evp.h>

#include <string>

#include "lib/str.h"
#include "tests/str_text.h"

inline str from_hex(const std::string& hex) {
  std::string raw;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    raw += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return bytes(raw);
}

inline std::string to_hex(const str& s) {
  std::string hex;
  for (int i = 0; i < s.length(); ++i) {
    hex += "0123456789abcdef"[(s.get_character(i) >> 4) & 15];
    hex += "0123456789abcdef"[s.get_character(i) & 15];
  }
  return hex;
}

inline const unsigned char* bytes_of(const str& s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}

// OpenSSL's encryption of in (no padding), e.g. AES-ECB of one block, or
// with AES-CTR over zero bytes the keystream from the counter block iv.
inline std::string openssl_encrypt(const EVP_CIPHER* cipher, const str& key, const str& iv,
                                   const str& in) {
  unsigned char out[256];
  int n = 0;
  EVP_CIPHER_CTX* c = EVP_CIPHER_CTX_new();
  bool ok = c && in.length() <= 240 &&
            EVP_EncryptInit_ex(c, cipher, nullptr, bytes_of(key), bytes_of(iv)) == 1 &&
            EVP_CIPHER_CTX_set_padding(c, 0) == 1 &&
            EVP_EncryptUpdate(c, out, &n, bytes_of(in), in.length()) == 1;
  EVP_CIPHER_CTX_free(c);
  return ok ? to_hex(str(reinterpret_cast<const char*>(out), n)) : "openssl failed";
}

inline std::string openssl_ctr_keystream(const str& key, const str& iv, int len) {
  return openssl_encrypt(EVP_aes_128_ctr(), key, iv, from_hex(std::string(2 * len, '0')));
}
