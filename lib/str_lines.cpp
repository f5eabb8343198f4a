// str: finding and taking lines.
//
// Lines are found by one byte-at-a-time state machine. A break is counted
// only when the byte after it arrives, so that the pairs CR LF and LF CR
// count once and a break at the very end of the text opens no new line.
#include "lib/str.h"

namespace {

enum line_state { in_line, after_cr, after_lf, after_cr_lf, after_lf_cr };

bool is_break(char ch) {
  return ch == '\r' || ch == '\n';
}

}  // namespace

int str::line_begin(int from, int n, bool fold) const {
  if (n <= 0) return from;
  line_state state = in_line;
  for (int i = from; i < end; ++i) {
    char ch = ref->bytes[i];
    bool blank = ch == ' ' || ch == '\t';
    bool counts = false;
    line_state next = in_line;
    switch (state) {
      case in_line:
        next = ch == '\r' ? after_cr : ch == '\n' ? after_lf : in_line;
        break;
      case after_cr:
        counts = ch != '\n';
        next = ch == '\r' ? after_cr : ch == '\n' ? after_cr_lf : in_line;
        break;
      case after_lf:
        counts = ch != '\r';
        next = ch == '\r' ? after_lf_cr : ch == '\n' ? after_lf : in_line;
        break;
      case after_cr_lf:
      case after_lf_cr:
        // A blank after CR LF continues the line when folding.
        counts = !(fold && state == after_cr_lf && blank);
        next = ch == '\r' ? after_cr : ch == '\n' ? after_lf : in_line;
        break;
    }
    if (counts && --n == 0) return i;
    state = next;
  }
  return end;
}

int str::line_end(int from, int next) const {
  while (next > from && is_break(ref->bytes[next - 1])) --next;
  return next;
}

int str::first_letter_of_line(int n, bool fold) const {
  return line_begin(start, n, fold);
}

int str::last_letter_of_line(int n, bool fold) const {
  // Line n + 1 seen from the beginning of line n is line 1 seen from there:
  // the machine is in the same state after the first byte of a line either
  // way.
  if (n < 0) return start;
  int first = first_letter_of_line(n, fold);
  return line_end(first, line_begin(first, 1, fold));
}

str str::get_line(int n, bool fold) const {
  int first = first_letter_of_line(n, fold);
  if (first == end) return empty;
  int last = line_end(first, line_begin(first, 1, fold));
  return substr(first - start, last - first);
}

str str::take_first_line(bool fold) {
  if (length() == 0) return empty;
  int next = line_begin(start, 1, fold);
  str line = substr(0, line_end(start, next) - start);
  if (next == end) {
    *this = empty;
  } else {
    start = next;
  }
  return line;
}
