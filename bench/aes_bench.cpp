// AES throughput: ruk's aes_encrypt, aes_decrypt and counter keystream beside
// OpenSSL's AES-128-ECB and AES-128-CTR (EVP) on the same machine, in one
// run. Each case runs for a fixed budget of the thread's CPU time (so that
// other processes on a shared machine disturb the figures less), three
// times; the best of the three is printed in MB/s (10^6 bytes per second).
#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <time.h>

#include "crypto/aes_cipher.h"
#include "crypto/aes_keystream.h"

namespace {

volatile unsigned sink;  // keeps the measured work from being optimised away

double cpu_seconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Runs one call repeatedly for about budget seconds of CPU time.
double mb_per_second(const std::function<unsigned()>& call, size_t bytes_per_call) {
  const double budget = 0.3;
  double best = 0;
  for (int rep = 0; rep < 3; ++rep) {
    size_t calls = 0;
    unsigned acc = 0;
    double start = cpu_seconds();
    double elapsed = 0;
    do {
      for (int i = 0; i < 64; ++i) acc += call();
      calls += 64;
      elapsed = cpu_seconds() - start;
    } while (elapsed < budget);
    sink = acc;
    double rate = static_cast<double>(calls * bytes_per_call) / elapsed / 1e6;
    if (rate > best) best = rate;
  }
  return best;
}

// Which of OpenSSL's x86 AES code paths runs: AES-NI when the CPU has it and
// OPENSSL_ia32cap does not mask it (bit 57), else the SSSE3 vector-permute
// code (vpaes; bit-sliced bsaes for CTR), else the table-driven assembly.
std::string openssl_aes_path() {
#if defined(__x86_64__) || defined(__i386__)
  const char* env = getenv("OPENSSL_ia32cap");
  bool cpu_aes = __builtin_cpu_supports("aes");
  bool masked = false;
  if (env != nullptr && *env != 0) {
    bool inverted = env[0] == '~';
    unsigned long long word = strtoull(env + (inverted ? 1 : 0), nullptr, 0);
    bool bit = (word >> 57) & 1;
    masked = inverted ? bit : !bit;
  }
  std::string cap = env ? std::string("OPENSSL_ia32cap=") + env : "OPENSSL_ia32cap unset";
  std::string path = cpu_aes && !masked ? "AES-NI (aesni_*)"
                     : __builtin_cpu_supports("ssse3")
                         ? "SSSE3: vpaes (ECB), bit-sliced bsaes (CTR)"
                         : "table-driven x86 assembly";
  return path + "; CPU " + (cpu_aes ? "has" : "lacks") + " AES-NI; " + cap;
#else
  return "not an x86 machine: OpenSSL's own choice for this CPU";
#endif
}

struct openssl_cipher {
  openssl_cipher(const EVP_CIPHER* cipher, const unsigned char* key, const unsigned char* iv)
      : ctx(EVP_CIPHER_CTX_new()) {
    if (!ctx || EVP_EncryptInit_ex(ctx, cipher, nullptr, key, iv) != 1 ||
        EVP_CIPHER_CTX_set_padding(ctx, 0) != 1) {
      fprintf(stderr, "aes_bench: OpenSSL set-up failed\n");
      exit(1);
    }
  }
  ~openssl_cipher() { EVP_CIPHER_CTX_free(ctx); }
  unsigned update(const unsigned char* in, unsigned char* out, int n) {
    int written = 0;
    EVP_EncryptUpdate(ctx, out, &written, in, n);
    return out[0] + static_cast<unsigned>(written);
  }
  EVP_CIPHER_CTX* ctx;
};

}  // namespace

int main() {
  const int bulk = 16384;
  const unsigned char key_bytes[32] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10,
                                       11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
                                       22, 23, 24, 25, 26, 27, 28, 29, 30, 31};
  const unsigned char iv[16] = {0xf0, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7,
                                0xf8, 0xf9, 0xfa, 0xfb, 0xfc, 0xfd, 0xfe, 0xff};
  str key128(reinterpret_cast<const char*>(key_bytes), 16);
  str key256(reinterpret_cast<const char*>(key_bytes), 32);
  aes_ctx aes128, aes256;
  if (!aes_init(aes128, key128, 4) || !aes_init(aes256, key256, 8)) return 1;
  aes128.counter_block = str(reinterpret_cast<const char*>(iv), 16);

  str block("0123456789abcdef"), out;
  auto ruk_encrypt = [&](aes_ctx& ctx) {
    return [&block, &out, c = &ctx] {
      return aes_encrypt(*c, block, 0, out) ? unsigned(out.data()[0]) : 0u;
    };
  };
  auto ruk_keystream = [&](int len) {
    return [&, len] {
      return aes_encrypt_block(aes128, out, len) ? unsigned(out.data()[len - 1]) : 0u;
    };
  };

  std::vector<unsigned char> in(bulk + 16), res(bulk + 32);
  openssl_cipher ecb(EVP_aes_128_ecb(), key_bytes, nullptr);
  openssl_cipher ctr(EVP_aes_128_ctr(), key_bytes, iv);
  auto openssl = [&](openssl_cipher& c, int n) {
    return [&c, &in, &res, n] { return c.update(in.data(), res.data(), n); };
  };

  struct row {
    const char* what;
    int chunk;
    std::function<unsigned()> call;
  } rows[] = {
      {"ruk aes_encrypt, AES-128", 16, ruk_encrypt(aes128)},
      {"ruk aes_encrypt, AES-256", 16, ruk_encrypt(aes256)},
      {"ruk aes_decrypt, AES-128", 16,
       [&] { return aes_decrypt(aes128, block, 0, out) ? unsigned(out.data()[0]) : 0u; }},
      {"OpenSSL EVP AES-128-ECB", 16, openssl(ecb, 16)},
      {"OpenSSL EVP AES-128-ECB", bulk, openssl(ecb, bulk)},
      {"ruk aes_encrypt_block keystream", 16, ruk_keystream(16)},
      {"ruk aes_encrypt_block keystream", bulk, ruk_keystream(bulk)},
      {"OpenSSL EVP AES-128-CTR", 16, openssl(ctr, 16)},
      {"OpenSSL EVP AES-128-CTR", bulk, openssl(ctr, bulk)},
  };

  printf("%s\nOpenSSL AES path: %s\n\n", OpenSSL_version(OPENSSL_VERSION),
         openssl_aes_path().c_str());
  printf("%-34s %8s %10s\n", "operation", "bytes", "MB/s (CPU)");
  for (const row& r : rows) {
    printf("%-34s %8d %10.1f\n", r.what, r.chunk,
           mb_per_second(r.call, static_cast<size_t>(r.chunk)));
    fflush(stdout);
  }
  return 0;
}
