// str: equality where letter case counts, and inequality with a string.
#include <string.h>

#include "lib/str.h"

bool str::is_equal_sensitiv(const str& other) const {
  if (other.length() == 0) return length() == 0;
  return compare_sensitiv(other.ref->bytes + other.start, other.length());
}

bool str::is_equal_sensitiv(const char* text) const {
  return compare_sensitiv(text, static_cast<int>(strlen(text)));
}

bool str::operator!=(const str& other) const {
  return !(*this == other);
}
