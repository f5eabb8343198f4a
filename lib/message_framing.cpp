#include "lib/message_framing.h"

namespace {

char at(const str& text, int i) {
  return text.ref->bytes[text.start + i];
}

}  // namespace

int find_header_end(const str& text) {
  int n = text.length();
  for (int i = 0; i + 3 < n; ++i) {
    if (at(text, i) == '\r' && at(text, i + 1) == '\n' && at(text, i + 2) == '\r' &&
        at(text, i + 3) == '\n') {
      return i + 4;
    }
  }
  for (int i = 0; i + 1 < n; ++i) {
    char ch = at(text, i);
    if ((ch == '\r' || ch == '\n') && at(text, i + 1) == ch) return i + 2;
  }
  return 0;
}

str get_message_body(const str& text) {
  int header_end = find_header_end(text);
  if (header_end == 0) return str::empty;
  return text.substr(header_end, -1);
}

str get_complete_message(const str& text, bool headers_only_when_unsized) {
  int header_end = find_header_end(text);
  if (header_end == 0) return str::empty;
  str length_text =
      text.substr(0, header_end).get_record_content("Content-Length", "l", ':', str::lws);
  // A negative length is as unusable as one that is no number: no body.
  long long body = length_text.value();
  if (body < 0) body = 0;
  long long total = header_end + body;
  if (!headers_only_when_unsized && length_text.length() == 0) total = text.length();
  if (text.length() < total) return str::empty;
  return text.substr(0, static_cast<int>(total));
}
