#include "crypto/aes_keystream.h"

#include <gtest/gtest.h>

#include "crypto/crypto_test_util.h"

namespace {

struct Keystream : testing::Test {
  void SetUp() override { ASSERT_TRUE(aes_init(ctx, key, 4)); }
  std::string encrypted(const std::string& block_hex) {
    str out;
    EXPECT_TRUE(aes_encrypt(ctx, from_hex(block_hex), 0, out));
    return to_hex(out);
  }
  std::string keystream(const std::string& counter_hex, int len) {
    ctx.counter_block = from_hex(counter_hex);
    str out;
    EXPECT_TRUE(aes_encrypt_block(ctx, out, len));
    return to_hex(out);
  }
  str key = from_hex("000102030405060708090a0b0c0d0e0f");
  aes_ctx ctx;
};

TEST_F(Keystream, TwentyBytesUseTwoConsecutiveCounterValues) {
  std::string expected = encrypted("f0f1f2f3f4f5f6f7f8f9fafbfcfdfeff") +
                         encrypted("f0f1f2f3f4f5f6f7f8f9fafbfcfdff00").substr(0, 8);
  EXPECT_EQ(keystream("f0f1f2f3f4f5f6f7f8f9fafbfcfdfeff", 20), expected);
  str again;  // the stored counter does not advance
  ASSERT_TRUE(aes_encrypt_block(ctx, again, 20));
  EXPECT_EQ(to_hex(again), expected);
}

TEST_F(Keystream, CounterWrapsFromAllOnesToZero) {
  EXPECT_EQ(keystream(std::string(32, 'f'), 32).substr(32), encrypted(std::string(32, '0')));
}

TEST_F(Keystream, MatchesOpensslCtrAcrossCarriesAndLengths) {
  for (const char* c : {"00000000000000000000000000000000", "0000000000000000fffffffffffffffe",
                        "0123456789abcdef00000000fffffffd"}) {
    for (int len : {1, 16, 17, 100}) {
      EXPECT_EQ(keystream(c, len), openssl_ctr_keystream(key, from_hex(c), len)) << c << " " << len;
    }
  }
}

TEST_F(Keystream, OnlyTheFirstSixteenCounterBytesCountAndOutMayBeTheCounter) {
  std::string counter = "000102030405060708090a0b0c0d0e0f";
  EXPECT_EQ(keystream(counter + "ffff", 16), encrypted(counter));
  ASSERT_TRUE(aes_encrypt_block(ctx, ctx.counter_block, 16));
  EXPECT_EQ(to_hex(ctx.counter_block), encrypted(counter));
}

TEST_F(Keystream, ZeroLengthIsEmptyAndBadRequestsGiveNoBytes) {
  EXPECT_EQ(keystream(std::string(32, '0'), 0), "");
  aes_ctx unkeyed;
  unkeyed.counter_block = ctx.counter_block;
  struct {
    aes_ctx* context;
    std::string counter;
    int len;
  } bad[] = {{&ctx, std::string(32, '0'), -1},
             {&ctx, std::string(30, '0'), 16},
             {&unkeyed, std::string(32, '0'), 16}};
  for (const auto& b : bad) {
    b.context->counter_block = from_hex(b.counter);
    str out("old bytes");
    EXPECT_FALSE(aes_encrypt_block(*b.context, out, b.len)) << b.counter << " " << b.len;
    EXPECT_EQ(out.length(), 0);
  }
}

}  // namespace
