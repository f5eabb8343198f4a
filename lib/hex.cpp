// utils: bytes to hexadecimal text and back.
#include "lib/utils.h"

#include "lib/out_of_memory.h"

namespace {

const char digits[] = "0123456789ABCDEF";

// The value of a hexadecimal digit, or -1.
int digit_value(char ch) {
  if (ch >= '0' && ch <= '9') return ch - '0';
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
  return -1;
}

}  // namespace

str utils::hex2bin(const str& text) {
  int n = text.length();
  const char* p = text.data();
  str bytes;
  if (n >= 2) bytes.touch(n / 2);
  int high = 0;
  // A zero byte ends the text, as it would a C string; every character
  // before it must be a digit, the lone last one included.
  for (int i = 0; i < n && p[i] != 0; ++i) {
    int value = digit_value(p[i]);
    if (value < 0) return str::empty;
    if (i % 2 == 0) {
      high = value;
    } else {
      bytes += static_cast<char>(high * 16 + value);
    }
  }
  if (bytes.length() == 0) return str::empty;
  return bytes;
}

str utils::bin2hex(const str& bytes) {
  int n = bytes.length();
  str text;
  if (n == 0) return text;
  text.touch(checked_size(2LL * n));
  const char* p = bytes.data();
  for (int i = 0; i < n; ++i) {
    unsigned char byte = static_cast<unsigned char>(p[i]);
    char pair[2] = {digits[byte >> 4], digits[byte & 15]};
    text.append(pair, 2);
  }
  return text;
}
