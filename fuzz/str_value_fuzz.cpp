// str::value on any text: the number a reference reading of the number
// syntax finds (blanks, one plus, one minus, digits wrapping in 32 bits), and
// the string unchanged.
#include <stdint.h>

#include "fuzz/fuzz_check.h"

namespace {

int32_t expected_value(const std::string& t) {
  size_t i = 0;
  while (i < t.size() && (t[i] == ' ' || t[i] == '\t')) ++i;
  if (i < t.size() && t[i] == '+') ++i;
  bool negative = false;
  if (i < t.size() && t[i] == '-') {
    negative = true;
    ++i;
  }
  uint32_t value = 0;
  bool digits = false;
  for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) {
    value = value * 10u + static_cast<uint32_t>(t[i] - '0');
    digits = true;
  }
  if (!digits) return 0;
  return static_cast<int32_t>(negative ? 0u - value : value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  str whole;
  str s = fuzz::embedded(text, &whole);
  int32_t expected = expected_value(text);
  FUZZ_CHECK(s.value() == expected);
  FUZZ_CHECK(fuzz::bytes_of(s) == text);
  FUZZ_CHECK(fuzz::bytes_of(whole) == "<<" + text + ">>");

  // The same text in a buffer of its own, and as a copy that shares it.
  str own = bytes(text);
  str copy = own;
  FUZZ_CHECK(own.value() == expected && copy.value() == expected);

  // A value written as decimal text reads back as itself.
  str written(expected, 0);
  FUZZ_CHECK(expected == INT32_MIN || written.value() == expected);
  return 0;
}
