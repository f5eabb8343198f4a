// Helpers for the crypto tests: hexadecimal in and out, and OpenSSL as the
// independent reference for counter-mode keystreams.
#pragma once

#include <openssl/evp.h>

#include <string>
#include <vector>

#include "lib/str.h"

inline str from_hex(const std::string& hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return str(bytes.data(), static_cast<int>(bytes.size()));
}

inline std::string to_hex(const str& s) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (int i = 0; i < s.length(); ++i) {
    unsigned char b = static_cast<unsigned char>(s.get_character(i));
    hex += digits[b >> 4];
    hex += digits[b & 15];
  }
  return hex;
}

// One block encrypted by OpenSSL's AES-ECB for a 16-, 24- or 32-byte key;
// hexadecimal.
inline std::string openssl_ecb_block(const str& key, const str& block) {
  const EVP_CIPHER* cipher = key.length() == 16   ? EVP_aes_128_ecb()
                             : key.length() == 24 ? EVP_aes_192_ecb()
                                                  : EVP_aes_256_ecb();
  unsigned char out[32];
  int n = 0;
  EVP_CIPHER_CTX* c = EVP_CIPHER_CTX_new();
  bool ok = c &&
            EVP_EncryptInit_ex(c, cipher, nullptr, reinterpret_cast<const unsigned char*>(key.data()),
                               nullptr) == 1 &&
            EVP_CIPHER_CTX_set_padding(c, 0) == 1 &&
            EVP_EncryptUpdate(c, out, &n, reinterpret_cast<const unsigned char*>(block.data()),
                              16) == 1;
  EVP_CIPHER_CTX_free(c);
  if (!ok) return "openssl failed";
  return to_hex(str(reinterpret_cast<const char*>(out), n));
}

// len bytes of AES-128-CTR keystream under key from the counter block iv,
// by OpenSSL (the encryption of zero bytes); hexadecimal.
inline std::string openssl_ctr_keystream(const str& key, const str& iv, int len) {
  std::vector<unsigned char> zeros(static_cast<size_t>(len)), out(static_cast<size_t>(len) + 16);
  EVP_CIPHER_CTX* c = EVP_CIPHER_CTX_new();
  int n = 0;
  bool ok = c && EVP_EncryptInit_ex(c, EVP_aes_128_ctr(), nullptr,
                                    reinterpret_cast<const unsigned char*>(key.data()),
                                    reinterpret_cast<const unsigned char*>(iv.data())) == 1 &&
            EVP_EncryptUpdate(c, out.data(), &n, zeros.data(), len) == 1;
  EVP_CIPHER_CTX_free(c);
  if (!ok) return "openssl failed";
  return to_hex(str(reinterpret_cast<const char*>(out.data()), n));
}
