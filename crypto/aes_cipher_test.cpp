#include "crypto/aes_cipher.h"

#include <gtest/gtest.h>

#include "crypto/aes_tables.h"
#include "crypto/crypto_test_util.h"

namespace {

const std::string plaintext = "00112233445566778899aabbccddeeff";
const std::string key128 = "000102030405060708090a0b0c0d0e0f";
const std::string c1_ciphertext = "69c4e0d86a7b0430d8cdb78070b4c55a";

TEST(AesCipher, Fips197AppendixCVectorsEncryptAndDecrypt) {
  struct {
    std::string key;
    int Nk;
    std::string ciphertext;
    const EVP_CIPHER* reference;
  } cases[] = {
      {key128, 4, c1_ciphertext, EVP_aes_128_ecb()},
      {key128 + "1011121314151617", 6, "dda97ca4864cdfe06eaf70a0ec0d7191", EVP_aes_192_ecb()},
      {key128 + "101112131415161718191a1b1c1d1e1f", 8, "8ea2b7ca516745bfeafc49904b496089",
       EVP_aes_256_ecb()},
  };
  for (const auto& c : cases) {
    aes_ctx ctx;
    ASSERT_TRUE(aes_init(ctx, from_hex(c.key), c.Nk));
    str out, back;
    ASSERT_TRUE(aes_encrypt(ctx, from_hex(plaintext), 0, out));
    EXPECT_EQ(to_hex(out), c.ciphertext) << "Nk " << c.Nk;
    EXPECT_EQ(to_hex(out),
              openssl_encrypt(c.reference, from_hex(c.key), str(), from_hex(plaintext)));
    ASSERT_TRUE(aes_decrypt(ctx, out, 0, back));
    EXPECT_EQ(to_hex(back), plaintext) << "Nk " << c.Nk;
  }
}

TEST(AesCipher, ShortInputIsZeroPaddedAndOutputIsWrittenSafely) {
  aes_ctx ctx;
  ASSERT_TRUE(aes_init(ctx, from_hex(key128), 4));
  str padded, short_out("abc");
  ASSERT_TRUE(aes_encrypt(ctx,
                          from_hex("0011223344556677"
                                   "0000000000000000"),
                          0, padded));
  ASSERT_TRUE(aes_encrypt(ctx, from_hex("0011223344556677"), 0, short_out));
  EXPECT_EQ(to_hex(short_out), to_hex(padded));

  // Bytes after the 16th survive; a string sharing out's buffer is not touched.
  str out = from_hex(std::string(32, '0') + "aabb");
  str sharer = out;
  ASSERT_TRUE(aes_encrypt(ctx, from_hex(plaintext), 0, out));
  EXPECT_EQ(to_hex(out), c1_ciphertext + "aabb");
  EXPECT_EQ(to_hex(sharer), std::string(32, '0') + "aabb");

  str block = from_hex(plaintext);  // in place
  ASSERT_TRUE(aes_encrypt(ctx, block, 0, block));
  ASSERT_TRUE(aes_decrypt(ctx, block, 0, block));
  EXPECT_EQ(to_hex(block), plaintext);
}

TEST(AesCipher, BadKeyLeavesTheContextUnkeyedAndRefusing) {
  struct {
    std::string key;
    int Nk;
  } bad[] = {{key128, 5}, {key128, 0}, {key128.substr(2), 4}, {key128 + "10", 4}, {key128, 6}};
  for (const auto& b : bad) {
    aes_ctx ctx;
    ASSERT_TRUE(aes_init(ctx, from_hex(key128), 4));
    EXPECT_FALSE(aes_init(ctx, from_hex(b.key), b.Nk)) << b.key << " Nk " << b.Nk;
    str out("unchanged");  // and the earlier key is not used any more
    EXPECT_FALSE(aes_encrypt(ctx, from_hex(plaintext), 0, out));
    EXPECT_FALSE(aes_decrypt(ctx, from_hex(plaintext), 0, out));
    EXPECT_EQ(out, "unchanged");
  }
  aes_ctx never_keyed;
  str out;
  EXPECT_FALSE(aes_encrypt(never_keyed, from_hex(plaintext), 0, out));
}

TEST(AesCipher, ACopyIsIndependentOfTheOriginal) {
  aes_ctx original;
  ASSERT_TRUE(aes_init(original, from_hex(key128), 4));
  aes_ctx copy = original;
  ASSERT_TRUE(aes_init(original, from_hex(std::string(32, 'f')), 4));
  str out;
  ASSERT_TRUE(aes_encrypt(copy, from_hex(plaintext), 0, out));
  EXPECT_EQ(to_hex(out), c1_ciphertext);
}

TEST(AesTables, InverseSboxUndoesTheSboxForEveryByte) {
  for (int v = 0; v < 256; ++v) EXPECT_EQ(aes_table.inv_sbox[aes_table.sbox[v]], v);
}

}  // namespace
