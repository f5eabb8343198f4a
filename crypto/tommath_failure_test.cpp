// LibTomMath failures, injected through the linker's --wrap (see
// CMakeLists.txt): the n-th LibTomMath call of a run fails as if memory ran
// out. Whichever call fails, no keystream comes out and a derivation leaves
// the context as it was; LeakSanitizer checks that every integer is cleared.
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

// Runs attempt with its n-th LibTomMath call failing, for n = 0, 1, 2 ...
// until a run makes fewer calls; expects failure exactly when a call failed.
// Returns the number of runs with a failed call.
template <typename Attempt>
int fail_each_call_in_turn(Attempt attempt) {
  for (int n = 0;; ++n) {
    failures = 0;
    calls_until_failure = n;
    bool ok = attempt();
    calls_until_failure = -1;
    EXPECT_EQ(ok, failures == 0) << "call " << n;
    if (failures == 0) return n;
  }
}

}  // namespace

#define RUK_FAILING(name, params, args)              \
  extern "C" mp_err __real_##name params;            \
  extern "C" mp_err __wrap_##name params {           \
    return fail_now() ? MP_MEM : __real_##name args; \
  }
RUK_FAILING(mp_init, (mp_int * a), (a))
RUK_FAILING(mp_copy, (const mp_int* a, mp_int* b), (a, b))
RUK_FAILING(mp_add_d, (const mp_int* a, mp_digit b, mp_int* c), (a, b, c))
RUK_FAILING(mp_mul_2d, (const mp_int* a, int b, mp_int* c), (a, b, c))
RUK_FAILING(mp_div_2d, (const mp_int* a, int b, mp_int* c, mp_int* d), (a, b, c, d))
RUK_FAILING(mp_mod_2d, (const mp_int* a, int b, mp_int* c), (a, b, c))

namespace {

const str master_key = from_hex("e1f97a0d3e018be0d64fa32c06de4139");
const str counter = from_hex("000000000000000000000000000000ff");

TEST(TommathFailure, AnyFailedCallGivesNoKeystream) {
  aes_ctx ctx;
  ASSERT_TRUE(aes_init(ctx, master_key, 4));
  ctx.counter_block = counter;
  std::string good = openssl_ctr_keystream(master_key, counter, 40);
  int injected = fail_each_call_in_turn([&] {
    str out("stale");
    bool ok = aes_encrypt_block(ctx, out, 40);
    EXPECT_EQ(to_hex(out), ok ? good : "");
    return ok;
  });
  // Two integers, sixteen bytes read in, three blocks written out and counted on.
  EXPECT_GE(injected, 2 + 32 + 3 * 7);
}

TEST(TommathFailure, AnyFailedCallLeavesTheDerivationUndone) {
  aes_ctx reference;
  ASSERT_TRUE(aes_init(reference, master_key, 4));
  int injected = fail_each_call_in_turn([&] {
    aes_ctx ctx = reference;
    ctx.counter_block = counter;
    bool ok = srtp_derive_keys(ctx, from_hex("0ec675ad498afeebb6960b3aabe6"));
    if (!ok) {
      str mine, theirs;  // still keyed with the master key
      EXPECT_TRUE(aes_encrypt(ctx, counter, 0, mine) && aes_encrypt(reference, counter, 0, theirs));
      EXPECT_EQ(to_hex(mine), to_hex(theirs));
      EXPECT_EQ(to_hex(ctx.counter_block), to_hex(counter));
      EXPECT_EQ(ctx.session_key.length() + ctx.session_auth_key.length(), 0);
    }
    return ok;
  });
  EXPECT_GE(injected, 3 * 34);
}

}  // namespace
