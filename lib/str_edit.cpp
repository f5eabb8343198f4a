// str: substring search, line editing and case conversion. Every edit
// returns a new text and shares the buffer wherever the result is one
// window of it.
#include <string.h>

#include "lib/str.h"
#include "lib/str_join.h"

int str::find(const str& pattern) const {
  int n = pattern.length();
  if (n == 0) return 0;
  const char* p = pattern.ref->bytes + pattern.start;
  for (int i = 0; i + n <= length(); ++i) {
    if (memcmp(ref->bytes + start + i, p, static_cast<size_t>(n)) == 0) return i;
  }
  return -1;
}

str str::insert_line(const str& text, int n, bool fold) const {
  int at = first_letter_of_line(n, fold) - start;
  str head = substr(0, at);
  str rest = substr(at, -1);
  const str* parts[] = {&head, &text, &rest};
  return join_texts(parts, 3);
}

// Line n with its break runs from first to the beginning of the next line. A
// line number below 0 names no line but the empty range at the string's
// start, so that an edit there removes nothing.
int str::next_line_begin(int first, int n, bool fold) const {
  return n < 0 || first == end ? first : line_begin(first, 1, fold);
}

str str::remove_line(int n, bool fold) const {
  int first = first_letter_of_line(n, fold);
  int next = next_line_begin(first, n, fold);
  if (first == next) return *this;
  str head = substr(0, first - start);
  str rest = substr(next - start, -1);
  const str* parts[] = {&head, &rest};
  return join_texts(parts, 2);
}

str str::replace_line(const str& text, int n, bool fold) const {
  int first = first_letter_of_line(n, fold);
  int next = next_line_begin(first, n, fold);
  str head = substr(0, first - start);
  str rest = substr(next - start, -1);
  const str* parts[] = {&head, &text, &rest};
  return join_texts(parts, 3);
}

namespace {

// A copy with the letters from..to moved by shift; the string itself when
// none of its bytes is such a letter.
str convert_letters(const str& s, char from, char to, int shift) {
  int i = 0;
  int n = s.length();
  const char* bytes = s.data();
  while (i < n && !(bytes[i] >= from && bytes[i] <= to)) ++i;
  if (i == n) return s;
  str copy(bytes, n);
  char* out = copy.ref->bytes;
  for (; i < n; ++i) {
    if (out[i] >= from && out[i] <= to) out[i] = static_cast<char>(out[i] + shift);
  }
  return copy;
}

}  // namespace

str str::to_lower() const {
  return convert_letters(*this, 'A', 'Z', 'a' - 'A');
}

str str::to_upper() const {
  return convert_letters(*this, 'a', 'z', 'A' - 'a');
}
