#include "crypto/srtp_kdf.h"

#include <gtest/gtest.h>

#include "crypto/crypto_test_util.h"

namespace {

// RFC 3711 appendix B.3.
const std::string master_key = "e1f97a0d3e018be0d64fa32c06de4139";
const std::string master_salt = "0ec675ad498afeebb6960b3aabe6";
const std::string session_key = "c61e7a93744f39ee10734afe3ff7a087";
const std::string session_salt = "30cbbc08863d8c85d49db34a9ae1";
const std::string session_auth_key = "cebe321f6ff7716b6fd4ab49af256a156d38baa4";

struct SrtpKdf : testing::Test {
  void SetUp() override { ASSERT_TRUE(aes_init(ctx, from_hex(master_key), 4)); }
  void expect_rfc3711_keys() {
    EXPECT_EQ(to_hex(ctx.session_key), session_key);
    EXPECT_EQ(to_hex(ctx.session_salt).substr(0, 28), session_salt);
    EXPECT_EQ(to_hex(ctx.session_auth_key), session_auth_key);
  }
  aes_ctx ctx;
};

TEST_F(SrtpKdf, Rfc3711AppendixB3KeysAndTheContextRekeyedWithThem) {
  ASSERT_TRUE(srtp_derive_keys(ctx, from_hex(master_salt)));
  expect_rfc3711_keys();
  aes_ctx reference;
  ASSERT_TRUE(aes_init(reference, from_hex(session_key), 4));
  str mine, theirs;
  ASSERT_TRUE(aes_encrypt(ctx, from_hex(master_salt), 0, mine));
  ASSERT_TRUE(aes_encrypt(reference, from_hex(master_salt), 0, theirs));
  EXPECT_EQ(to_hex(mine), to_hex(theirs));
  EXPECT_EQ(to_hex(ctx.counter_block), session_salt + "0000");
}

TEST_F(SrtpKdf, SrtcpLabelsMatchOpensslCtr) {
  ASSERT_TRUE(srtcp_derive_keys(ctx, from_hex(master_salt)));
  auto expected = [](int label, int len) {
    str iv = from_hex(master_salt + "0000");
    iv.set_character(7, static_cast<char>(iv.get_character(7) ^ label));
    return openssl_ctr_keystream(from_hex(master_key), iv, len);
  };
  EXPECT_EQ(to_hex(ctx.session_key), expected(3, 16));
  EXPECT_EQ(to_hex(ctx.session_salt), expected(5, 16));
  EXPECT_EQ(to_hex(ctx.session_auth_key), expected(4, 20));
}

TEST_F(SrtpKdf, SaltBytesPastTheFourteenthAndAliasingDoNotMatter) {
  ASSERT_TRUE(srtp_derive_keys(ctx, from_hex(master_salt + "a5a5")));
  expect_rfc3711_keys();
  ASSERT_TRUE(aes_init(ctx, from_hex(master_key), 4));
  ctx.counter_block = from_hex(master_salt);
  ASSERT_TRUE(srtp_derive_keys(ctx, ctx.counter_block));
  expect_rfc3711_keys();
}

TEST_F(SrtpKdf, ShortSaltOrUnkeyedContextIsRefusedAndChangesNothing) {
  ctx.counter_block = from_hex(session_key);
  EXPECT_FALSE(srtp_derive_keys(ctx, from_hex(master_salt.substr(2))));
  EXPECT_FALSE(srtcp_derive_keys(ctx, str()));
  EXPECT_EQ(to_hex(ctx.key), master_key);
  EXPECT_EQ(to_hex(ctx.counter_block), session_key);
  EXPECT_EQ(ctx.session_key.length() + ctx.session_salt.length(), 0);
  aes_ctx unkeyed;
  EXPECT_FALSE(srtp_derive_keys(unkeyed, from_hex(master_salt)));
}

}  // namespace
