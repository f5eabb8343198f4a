#include "crypto/aes_keystream.h"

#include <gtest/gtest.h>

#include "crypto/crypto_test_util.h"

namespace {

const char* const key128 = "000102030405060708090a0b0c0d0e0f";

struct Keystream : testing::Test {
  void SetUp() override { ASSERT_TRUE(aes_init(ctx, from_hex(key128), 4)); }
  std::string encrypted(const char* block_hex) {
    str out;
    EXPECT_TRUE(aes_encrypt(ctx, from_hex(block_hex), 0, out));
    return to_hex(out);
  }
  aes_ctx ctx;
};

TEST_F(Keystream, TwentyBytesUseTwoConsecutiveCounterValues) {
  ctx.counter_block = from_hex("f0f1f2f3f4f5f6f7f8f9fafbfcfdfeff");
  str out;
  ASSERT_TRUE(aes_encrypt_block(ctx, out, 20));
  std::string expected = encrypted("f0f1f2f3f4f5f6f7f8f9fafbfcfdfeff") +
                         encrypted("f0f1f2f3f4f5f6f7f8f9fafbfcfdff00").substr(0, 8);
  EXPECT_EQ(to_hex(out), expected);
  // The stored counter does not advance: the same call gives the same bytes.
  str again;
  ASSERT_TRUE(aes_encrypt_block(ctx, again, 20));
  EXPECT_EQ(to_hex(again), expected);
}

TEST_F(Keystream, CounterWrapsFromAllOnesToZero) {
  ctx.counter_block = from_hex(std::string(32, 'f'));
  str out;
  ASSERT_TRUE(aes_encrypt_block(ctx, out, 32));
  EXPECT_EQ(to_hex(out).substr(32), encrypted("00000000000000000000000000000000"));
}

TEST_F(Keystream, MatchesOpensslCtrAcrossCarriesAndLengths) {
  const char* counters[] = {"00000000000000000000000000000000", "0000000000000000fffffffffffffffe",
                            "00000000fffffffffffffffffffffffd", "0123456789abcdef00000000fffffffe",
                            "fffffffffffffffffffffffffffffffe"};
  for (const char* c : counters) {
    ctx.counter_block = from_hex(c);
    for (int len : {1, 15, 16, 17, 100}) {
      str out;
      ASSERT_TRUE(aes_encrypt_block(ctx, out, len));
      EXPECT_EQ(to_hex(out), openssl_ctr_keystream(from_hex(key128), from_hex(c), len))
          << c << " len " << len;
    }
  }
}

TEST_F(Keystream, OnlyTheFirstSixteenCounterBytesCountAndOutMayBeTheCounter) {
  ctx.counter_block = from_hex("000102030405060708090a0b0c0d0e0f" "ffff");
  str out;
  ASSERT_TRUE(aes_encrypt_block(ctx, out, 16));
  EXPECT_EQ(to_hex(out), encrypted("000102030405060708090a0b0c0d0e0f"));
  ASSERT_TRUE(aes_encrypt_block(ctx, ctx.counter_block, 16));
  EXPECT_EQ(to_hex(ctx.counter_block), to_hex(out));
}

TEST_F(Keystream, ZeroLengthIsEmptyAndBadRequestsGiveNoBytes) {
  ctx.counter_block = from_hex(std::string(32, '0'));
  str out("old bytes");
  ASSERT_TRUE(aes_encrypt_block(ctx, out, 0));
  EXPECT_EQ(out.length(), 0);

  out = "old bytes";
  EXPECT_FALSE(aes_encrypt_block(ctx, out, -1));
  EXPECT_EQ(out.length(), 0);

  ctx.counter_block = from_hex(std::string(30, '0'));  // 15 bytes
  out = "old bytes";
  EXPECT_FALSE(aes_encrypt_block(ctx, out, 16));
  EXPECT_EQ(out.length(), 0);

  aes_ctx unkeyed;
  unkeyed.counter_block = from_hex(std::string(32, '0'));
  out = "old bytes";
  EXPECT_FALSE(aes_encrypt_block(unkeyed, out, 16));
  EXPECT_EQ(out.length(), 0);
}

}  // namespace
