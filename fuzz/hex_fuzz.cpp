// utils::hex2bin on any text, against a reference reading (pairs of digits,
// a zero byte or the end stops, any other character empties the result);
// utils::bin2hex of any bytes: upper-case digit pairs that hex2bin turns
// back into the same bytes.
#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz/fuzz_check.h"
#include "lib/utils.h"

namespace {

int digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string expected_bytes(const std::string& t) {
  std::string out;
  for (size_t i = 0;; i += 2) {
    if (i >= t.size() || t[i] == 0) return out;
    int high = digit(t[i]);
    if (high < 0) return "";
    if (i + 1 >= t.size() || t[i + 1] == 0) return out;
    int low = digit(t[i + 1]);
    if (low < 0) return "";
    out += static_cast<char>(high * 16 + low);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  str whole;
  str s = fuzz::embedded(text, &whole);

  str bytes = utils::hex2bin(s);
  FUZZ_CHECK(fuzz::bytes_of(bytes) == expected_bytes(text));
  FUZZ_CHECK(bytes.length() > 0 || bytes.ref == nullptr);  // the empty result is str::empty

  str hex = utils::bin2hex(s);
  std::string h = fuzz::bytes_of(hex);
  FUZZ_CHECK(h.size() == 2 * text.size());
  static const char upper[] = "0123456789ABCDEF";
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(text[i]);
    FUZZ_CHECK(h[2 * i] == upper[b >> 4] && h[2 * i + 1] == upper[b & 15]);
  }
  FUZZ_CHECK(fuzz::bytes_of(utils::hex2bin(hex)) == text);

  FUZZ_CHECK(fuzz::bytes_of(s) == text);
  FUZZ_CHECK(fuzz::bytes_of(whole) == "<<" + text + ">>");
  return 0;
}
