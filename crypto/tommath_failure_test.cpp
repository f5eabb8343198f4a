// LibTomMath failures, injected through the linker's --wrap (see
// CMakeLists.txt): the n-th LibTomMath call of a run fails as if memory ran
// out. Whatever call fails, no keystream bytes come out and the derivation
// leaves the context as it was; LeakSanitizer checks that every initialised
// integer is cleared on the way out.
#include <gtest/gtest.h>
#include <tommath.h>

#include "crypto/aes_keystream.h"
#include "crypto/crypto_test_util.h"
#include "crypto/srtp_kdf.h"

namespace {

int calls_until_failure = -1;  // negative: never fail
int failures = 0;

bool fail_now() {
  if (calls_until_failure < 0 || calls_until_failure-- != 0) return false;
  ++failures;
  return true;
}

// Runs attempt with the n-th LibTomMath call failing, for n = 0, 1, 2 ...
// until a run makes fewer calls than n + 1; check(succeeded, failed) judges
// each run. Returns the number of runs in which a call failed.
template <typename Attempt, typename Check>
int fail_each_call_in_turn(Attempt attempt, Check check) {
  int injected = 0;
  for (int n = 0;; ++n) {
    failures = 0;
    calls_until_failure = n;
    bool ok = attempt();
    calls_until_failure = -1;
    check(ok, failures > 0);
    if (failures == 0) return injected;
    ++injected;
  }
}

}  // namespace

extern "C" {
mp_err __real_mp_init(mp_int* a);
mp_err __real_mp_copy(const mp_int* a, mp_int* b);
mp_err __real_mp_add_d(const mp_int* a, mp_digit b, mp_int* c);
mp_err __real_mp_mul_2d(const mp_int* a, int b, mp_int* c);
mp_err __real_mp_div_2d(const mp_int* a, int b, mp_int* c, mp_int* d);
mp_err __real_mp_mod_2d(const mp_int* a, int b, mp_int* c);

mp_err __wrap_mp_init(mp_int* a) { return fail_now() ? MP_MEM : __real_mp_init(a); }
mp_err __wrap_mp_copy(const mp_int* a, mp_int* b) {
  return fail_now() ? MP_MEM : __real_mp_copy(a, b);
}
mp_err __wrap_mp_add_d(const mp_int* a, mp_digit b, mp_int* c) {
  return fail_now() ? MP_MEM : __real_mp_add_d(a, b, c);
}
mp_err __wrap_mp_mul_2d(const mp_int* a, int b, mp_int* c) {
  return fail_now() ? MP_MEM : __real_mp_mul_2d(a, b, c);
}
mp_err __wrap_mp_div_2d(const mp_int* a, int b, mp_int* c, mp_int* d) {
  return fail_now() ? MP_MEM : __real_mp_div_2d(a, b, c, d);
}
mp_err __wrap_mp_mod_2d(const mp_int* a, int b, mp_int* c) {
  return fail_now() ? MP_MEM : __real_mp_mod_2d(a, b, c);
}
}

namespace {

const char* const master_key = "e1f97a0d3e018be0d64fa32c06de4139";
const char* const master_salt = "0ec675ad498afeebb6960b3aabe6";

TEST(TommathFailure, AnyFailedCallGivesNoKeystream) {
  aes_ctx ctx;
  ASSERT_TRUE(aes_init(ctx, from_hex(master_key), 4));
  ctx.counter_block = from_hex("000000000000000000000000000000ff");
  std::string good = openssl_ctr_keystream(ctx.key, ctx.counter_block, 40);
  str out;
  int injected = fail_each_call_in_turn(
      [&] {
        out = "stale";
        return aes_encrypt_block(ctx, out, 40);
      },
      [&](bool ok, bool failed) {
        EXPECT_EQ(ok, !failed);
        EXPECT_EQ(to_hex(out), failed ? "" : good);
      });
  // Two integers, sixteen bytes read in, three blocks written out and counted on.
  EXPECT_GE(injected, 2 + 32 + 3 * 7);
}

TEST(TommathFailure, AnyFailedCallLeavesTheDerivationUndone) {
  int injected = fail_each_call_in_turn(
      [&] {
        aes_ctx ctx;
        if (!aes_init(ctx, from_hex(master_key), 4)) return false;
        ctx.counter_block = from_hex("00112233445566778899aabbccddeeff");
        bool ok = srtp_derive_keys(ctx, from_hex(master_salt));
        if (!ok) {
          EXPECT_EQ(to_hex(ctx.key), master_key);
          EXPECT_EQ(to_hex(ctx.counter_block), "00112233445566778899aabbccddeeff");
          EXPECT_EQ(ctx.session_key.length() + ctx.session_auth_key.length(), 0);
          str out;
          EXPECT_TRUE(aes_encrypt(ctx, from_hex(master_salt), 0, out));
          aes_ctx reference;
          EXPECT_TRUE(aes_init(reference, from_hex(master_key), 4));
          str expected;
          EXPECT_TRUE(aes_encrypt(reference, from_hex(master_salt), 0, expected));
          EXPECT_EQ(to_hex(out), to_hex(expected));
        }
        return ok;
      },
      [](bool ok, bool failed) { EXPECT_EQ(ok, !failed); });
  EXPECT_GE(injected, 3 * 34);
}

}  // namespace
