// str: decimal text of an int, the decimal value of a text, and the test
// whether a text is a number.
#include <string.h>

#include "lib/str.h"

str::str(int value, int width) {
  allzero();
  char text[12];  // a sign and at most ten digits
  int n = 0;
  // The magnitude in unsigned arithmetic, so that the most negative int
  // gives its true digits.
  uint32_t rest = static_cast<uint32_t>(value);
  if (value < 0) {
    text[n++] = '-';
    rest = 0u - rest;
  }
  bool written = false;
  uint32_t divisor = 1000000000u;
  for (int position = 10; position >= 1; --position, divisor /= 10) {
    if (rest >= divisor || written || divisor == 1 || position == width) {
      text[n++] = static_cast<char>('0' + rest / divisor);
      rest %= divisor;
      written = true;
    }
  }
  ref = get_cstring(n);
  memcpy(ref->bytes, text, static_cast<size_t>(n));
  end = n;
}

int str::value() const {
  int i = 0;
  int n = length();
  const char* p = data();
  while (i < n && (p[i] == ' ' || p[i] == '\t')) ++i;
  if (i < n && p[i] == '+') ++i;
  bool negative = false;
  if (i < n && p[i] == '-') {
    negative = true;
    ++i;
  }
  // Wraps on overflow without notice, as 32-bit arithmetic does.
  uint32_t result = 0;
  while (i < n && p[i] >= '0' && p[i] <= '9') {
    result = result * 10u + static_cast<uint32_t>(p[i] - '0');
    ++i;
  }
  if (negative) result = 0u - result;
  return static_cast<int>(result);
}

bool str::is_number() const {
  if (strip_whitespace(lws).length() == 0) return false;
  int i = 0;
  int n = length();
  const char* p = data();
  while (i < n && (p[i] == ' ' || p[i] == '\t')) ++i;
  // A minus sign is allowed only before the first digit; a lone one passes.
  bool minus_allowed = true;
  for (; i < n; ++i) {
    char c = p[i];
    if (c >= '0' && c <= '9') {
      minus_allowed = false;
    } else if (c == '-' && minus_allowed) {
      minus_allowed = false;
    } else if (c == ' ' || c == '\t') {
      while (i < n && (p[i] == ' ' || p[i] == '\t')) ++i;
      return i == n;
    } else {
      return false;
    }
  }
  return true;
}
