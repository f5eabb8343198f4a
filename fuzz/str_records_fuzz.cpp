// Lines and records of a text: str::first_letter_of_line and str::get_line
// against a reference line splitter (breaks CR, LF, CR LF, LF CR; folding of
// CR LF followed by a blank); str::get_record and str::get_records against
// the records that splitter finds; str::get_record_content inside its line;
// and str::set_record_content read back with str::get_record_content.
#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

#include "fuzz/fuzz_check.h"

namespace {

bool is_break(char c) {
  return c == '\r' || c == '\n';
}
bool is_blank(char c) {
  return c == ' ' || c == '\t';
}

// Where line n begins, counted from the line that begins at from; the
// text's length when there is no such line. A break is counted when the
// byte after it arrives.
size_t line_begin(const std::string& t, size_t from, int n, bool fold) {
  if (n <= 0) return from;
  enum { in_line, after_cr, after_lf, after_crlf, after_lfcr } state = in_line;
  for (size_t i = from; i < t.size(); ++i) {
    char c = t[i];
    bool count = false;
    switch (state) {
      case in_line:
        state = c == '\r' ? after_cr : c == '\n' ? after_lf : in_line;
        break;
      case after_cr:
        if (c == '\n') {
          state = after_crlf;
        } else {
          count = true;
          state = c == '\r' ? after_cr : in_line;
        }
        break;
      case after_lf:
        if (c == '\r') {
          state = after_lfcr;
        } else {
          count = true;
          state = c == '\n' ? after_lf : in_line;
        }
        break;
      case after_crlf:
        if (fold && is_blank(c)) {
          state = in_line;
        } else {
          count = true;
          state = c == '\r' ? after_cr : c == '\n' ? after_lf : in_line;
        }
        break;
      case after_lfcr:
        count = true;
        state = c == '\r' ? after_cr : c == '\n' ? after_lf : in_line;
        break;
    }
    if (count && --n == 0) return i;
  }
  return t.size();
}

struct line {
  size_t begin, end, next;  // the line is [begin, end); the following one begins at next
};

// Every line of the text with folding, each without its break.
std::vector<line> split_lines(const std::string& t) {
  std::vector<line> lines;
  size_t from = 0;
  for (;;) {
    size_t next = line_begin(t, from, 1, true);
    size_t last = next;
    while (last > from && is_break(t[last - 1])) --last;
    lines.push_back({from, last, next});
    if (next >= t.size()) break;
    from = next;
  }
  return lines;
}

std::string trim(const std::string& t, const std::string& set) {
  if (set.empty()) return t;
  size_t first = t.find_first_not_of(set);
  if (first == std::string::npos) return "";
  size_t last = t.find_last_not_of(set);
  return t.substr(first, last - first + 1);
}

bool key_matches(const std::string& field, const std::string& key, const std::string& alt) {
  return fuzz::equal_ignoring_case(field, key) ||
         (!alt.empty() && fuzz::equal_ignoring_case(field, alt));
}

std::string key_field(const str& s, const line& l, char sep, const std::string& set) {
  str text = s.substr(static_cast<int>(l.begin), static_cast<int>(l.end - l.begin));
  return trim(fuzz::bytes_of(text.get_field(0, sep, false)), set);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  char sep = in.ConsumeBool() ? ':' : in.ConsumeIntegral<char>();
  bool with_alt = in.ConsumeBool();
  int n = in.ConsumeIntegralInRange<int>(-1, 8);
  bool fold = in.ConsumeBool();
  std::string key = in.ConsumeRandomLengthString(16);
  std::string alt = with_alt ? in.ConsumeRandomLengthString(8) : std::string();
  std::string content = in.ConsumeRandomLengthString(16);
  std::string set = in.ConsumeBool() ? std::string(" \t\r\n") : in.ConsumeRandomLengthString(4);
  std::string text = in.ConsumeRemainingBytesAsString();

  str whole;
  str s = fuzz::embedded(text, &whole);
  str key_str = bytes(key), alt_str = bytes(alt), content_str = bytes(content),
      set_str = bytes(set);

  // Lines.
  size_t begin = line_begin(text, 0, n, fold);
  FUZZ_CHECK(s.first_letter_of_line(n, fold) - s.start == static_cast<int>(begin));
  str got_line = s.get_line(n, fold);
  FUZZ_CHECK(fuzz::view_inside(got_line, s));
  std::string want_line;
  if (begin < text.size()) {
    size_t next = line_begin(text, begin, 1, fold);
    size_t last = next;
    while (last > begin && is_break(text[last - 1])) --last;
    want_line = text.substr(begin, last - begin);
  }
  FUZZ_CHECK(fuzz::bytes_of(got_line) == want_line);

  // Records: the first matching line of the whole text, and every matching
  // line of the block before the first empty one.
  std::vector<line> lines = split_lines(text);
  str record =
      with_alt ? s.get_record(key_str, alt_str, sep, set_str) : s.get_record(key_str, sep, set_str);
  FUZZ_CHECK(fuzz::view_inside(record, s));
  std::string want_record;
  bool found = false;
  for (const line& l : lines) {
    if (key_matches(key_field(s, l, sep, set), key, alt)) {
      want_record = text.substr(l.begin, l.end - l.begin);
      found = true;
      break;
    }
  }
  FUZZ_CHECK(fuzz::bytes_of(record) == want_record);

  std::string want_records;
  for (const line& l : lines) {
    if (l.end == l.begin) break;
    if (key_matches(key_field(s, l, sep, set), key, alt)) {
      want_records += text.substr(l.begin, l.end - l.begin) + "\r\n";
    }
  }
  str records = with_alt ? s.get_records(key_str, alt_str, sep, set_str)
                         : s.get_records(key_str, sep, set_str);
  FUZZ_CHECK(fuzz::bytes_of(records) == want_records);

  // The content lies inside the record line, after a separator that follows
  // its key, trimmed with the set.
  str value = with_alt ? s.get_record_content(key_str, alt_str, sep, set_str)
                       : s.get_record_content(key_str, sep, set_str);
  FUZZ_CHECK(fuzz::view_inside(value, s));
  if (value.length() > 0) {
    FUZZ_CHECK(found && record.length() > 0);
    FUZZ_CHECK(record.start < value.start && value.end <= record.end);
    FUZZ_CHECK(
        std::string(record.ref->bytes + record.start, value.start - record.start).find(sep) !=
        std::string::npos);
    FUZZ_CHECK(!str::one_of(value.ref->bytes[value.start], set_str));
    FUZZ_CHECK(!str::one_of(value.ref->bytes[value.end - 1], set_str));
  }

  // Setting a record and reading it back. The read-back holds where the key
  // and content are plain text on one line and nothing after the written
  // line could continue it.
  str filler(" ");
  str changed = with_alt ? s.set_record_content(key_str, alt_str, content_str, sep, filler)
                         : s.set_record_content(key_str, content_str, sep, filler);
  FUZZ_CHECK(fuzz::bytes_of(s) == text);
  FUZZ_CHECK(fuzz::bytes_of(whole) == "<<" + text + ">>");
  std::string changed_text = fuzz::bytes_of(changed);
  FUZZ_CHECK(changed_text.find(content) != std::string::npos);
  bool plain_key =
      !key.empty() && key.find_first_of(std::string("\"\r\n \t\0", 6) + sep) == std::string::npos;
  bool plain_content = content.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
  bool plain_alt = alt.find_first_of(std::string("\"\r\n \t\0", 6) + sep) == std::string::npos;
  if (plain_key && plain_content && plain_alt && sep != '"' && !is_blank(sep) && !is_break(sep) &&
      sep != 0) {
    bool continued = changed_text.find(content + "\r\n ") != std::string::npos ||
                     changed_text.find(content + "\r\n\t") != std::string::npos;
    if (!continued) {
      str lws = str::lws;
      str back = with_alt ? changed.get_record_content(key_str, alt_str, sep, lws)
                          : changed.get_record_content(key_str, sep, lws);
      FUZZ_CHECK(fuzz::bytes_of(back) == trim(content, " \t\r\n"));
    }
  }
  return 0;
}
