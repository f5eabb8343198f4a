// Helpers shared by the fuzz targets: a failed property aborts with a message,
// which libFuzzer reports as a crash and keeps the input of.
#pragma once

#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "lib/str.h"
#include "tests/str_text.h"

#define FUZZ_CHECK(cond)                                                          \
  do {                                                                            \
    if (!(cond)) {                                                                \
      fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #cond); \
      abort();                                                                    \
    }                                                                             \
  } while (0)

namespace fuzz {

// The tests' text(), under a name that the targets' own variables called
// text do not hide.
inline std::string bytes_of(const str& s) {
  return ::text(s);
}

// The text as a view in the middle of a larger shared buffer, so that the
// operations see start > 0 and bytes on both sides that are not theirs.
inline str embedded(const std::string& text, str* whole) {
  std::string padded = "<<" + text + ">>";
  *whole = bytes(padded);
  return whole->substr(2, static_cast<int>(text.size()));
}

// A result that is a view of source: same buffer, inside its window. An
// empty result may also have no buffer at all.
inline bool view_inside(const str& result, const str& source) {
  if (result.ref == nullptr) return result.start == 0 && result.end == 0;
  return result.ref == source.ref && source.start <= result.start && result.start <= result.end &&
         result.end <= source.end;
}

// Equality as str's ==: same length, letters compared without case, and
// the comparison ends where both sides hold a zero byte.
inline bool equal_ignoring_case(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x == 0 && y == 0) return true;
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace fuzz
