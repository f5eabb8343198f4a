// str::get_field: one field of a text split at a separator byte.
#include "lib/str.h"

str str::get_field(int index, char separator, bool rest) const {
  str result;
  int n = end;
  if (length() == 0) return result;
  const char* b = ref->bytes;
  int p = start;
  while (p < n && b[p] == separator) ++p;
  if (p >= n) return result;

  for (int skipped = 0; skipped < index; ++skipped) {
    if (b[p] == '"') {
      if (p + 1 < n && b[p + 1] == '"') {
        p += 2;
      } else {
        ++p;
        while (p < n && b[p] != '"') ++p;
        if (p >= n) return result;
        ++p;
      }
    } else {
      while (p < n && b[p] != separator) ++p;
      if (p >= n) return result;
    }
    while (p < n && b[p] == separator) ++p;
    if (p >= n) return result;
  }

  int q = n;
  if (!rest) {
    if (b[p] == '"') {
      ++p;
      q = p;
      while (q < n && b[q] != '"' && b[q] != '\r' && b[q] != '\n') ++q;
    } else {
      q = p;
      while (q < n && b[q] != separator && b[q] != '\r' && b[q] != '\n') ++q;
    }
  }
  result.linkto(*this);
  result.start = p;
  result.end = q;
  return result;
}
