// str: splitting and trimming by a set of bytes.
#include "lib/str.h"

bool str::one_of(char ch, const str& set) {
  for (int i = set.start; i < set.end; ++i) {
    if (set.ref->bytes[i] == ch) return true;
  }
  return false;
}

str str::get_field(int index, const str& separators) const {
  str result;
  if (length() == 0) return result;
  const char* b = ref->bytes;
  int p = start;
  while (p < end && one_of(b[p], separators)) ++p;
  if (p >= end) return result;
  for (int skipped = 0; skipped < index; ++skipped) {
    while (p < end && !one_of(b[p], separators)) ++p;
    while (p < end && one_of(b[p], separators)) ++p;
    if (p >= end) return result;
  }
  int q = p;
  while (q < end && !one_of(b[q], separators)) ++q;
  result.linkto(*this);
  result.start = p;
  result.end = q;
  return result;
}

str str::strip_whitespace(const str& set) const {
  if (set.length() == 0 || length() == 0) return *this;
  int first = start;
  int last = end;
  while (first < last && one_of(ref->bytes[first], set)) ++first;
  while (last > first && one_of(ref->bytes[last - 1], set)) --last;
  if (first == last) return empty;
  str view(*this);
  view.start = first;
  view.end = last;
  return view;
}
