// str: record texts, lines of key, separator and value, as in message
// headers. Folding is always on here: a continuation line belongs to its
// record.
#include "lib/str.h"
#include "lib/str_join.h"

namespace {

bool matches(const str& field, const str& key, const str& alternative) {
  return field == key || (alternative.length() > 0 && field == alternative);
}

// The key of a line as the text writes it, without leading blanks: a quoted
// key keeps its quotes, so that a separator inside them still does not split
// it.
str written_key(const str& line, const str& field, char separator) {
  bool quoted = separator != '"' && field.ref != nullptr && field.start > line.start &&
                field.ref->bytes[field.start - 1] == '"';
  if (!quoted) {
    // A line that began with a blank would continue the line before it.
    str bare = field;
    while (bare.length() > 0 && (bare.ref->bytes[bare.start] == ' ' ||
                                 bare.ref->bytes[bare.start] == '\t')) {
      ++bare.start;
    }
    return bare;
  }
  str key("\"", 1);
  key += field;
  key += '"';
  return key;
}

// The key field as the record setter compares it. It has no trimming set of
// its own, but a key written with blanks around it must still be found, or
// the new line would stand behind the old one and never be read. A key
// field holds no CR or LF, so str::lws trims exactly the blanks.
str blank_trimmed(const str& field) {
  return field.strip_whitespace(str::lws);
}

}  // namespace

str str::get_record(const str& key, const str& alternative, char separator, const str& set) const {
  int from = start;
  for (;;) {
    int next = line_begin(from, 1, true);
    str line = substr(from - start, line_end(from, next) - from);
    str field = line.get_field(0, separator, false).strip_whitespace(set);
    if (matches(field, key, alternative)) return line;
    if (next >= end) return empty;
    from = next;
  }
}

str str::get_record(const str& key, char separator, const str& set) const {
  return get_record(key, empty, separator, set);
}

str str::get_record_content(const str& key, const str& alternative, char separator,
                            const str& set) const {
  str line = get_record(key, alternative, separator, set);
  if (line.length() == 0) return empty;
  // The value begins after the first separator behind the key field, which
  // also steps over a closing quote or blanks after the key.
  str field = line.get_field(0, separator, false);
  int p = field.ref != nullptr ? field.end : line.start;
  while (p < line.end && line.ref->bytes[p] != separator) ++p;
  if (p >= line.end) return empty;
  return line.substr(p + 1 - line.start, -1).strip_whitespace(set);
}

str str::get_record_content(const str& key, char separator, const str& set) const {
  return get_record_content(key, empty, separator, set);
}

str str::set_record_content(const str& key, const str& alternative, const str& content,
                            char separator, const str& filler) const {
  str separator_text(&separator, 1);
  int from = start;
  for (;;) {
    int next = line_begin(from, 1, true);
    int last = line_end(from, next);
    if (last == from) break;  // an empty line ends the block, as does the end
    str line = substr(from - start, last - from);
    str field = line.get_field(0, separator, false);
    if (matches(blank_trimmed(field), key, alternative)) {
      str head = substr(0, from - start);
      str written = written_key(line, field, separator);
      str rest = substr(next - start, -1);
      const str* parts[] = {&head, &written, &separator_text, &filler, &content, &crlf, &rest};
      return join_texts(parts, 7);
    }
    from = next;
  }
  str head = substr(0, from - start);
  str rest = substr(from - start, -1);
  // A last line without a break is closed first, so that the new record
  // does not run on from it.
  bool unterminated =
      from == end && from > start && ref->bytes[from - 1] != '\r' && ref->bytes[from - 1] != '\n';
  const str& closing = unterminated ? crlf : empty;
  const str* parts[] = {&head, &closing, &key, &separator_text, &filler, &content, &crlf, &rest};
  return join_texts(parts, 8);
}

str str::set_record_content(const str& key, const str& content, char separator,
                            const str& filler) const {
  return set_record_content(key, empty, content, separator, filler);
}

str str::get_records(const str& key, const str& alternative, char separator, const str& set) const {
  // Walks the lines once; line n + 1 begins where line 1 of the rest does.
  str result;
  int from = start;
  while (from < end) {
    int next = line_begin(from, 1, true);
    int last = line_end(from, next);
    if (last == from) break;
    str line = substr(from - start, last - from);
    if (matches(line.get_field(0, separator, false).strip_whitespace(set), key, alternative)) {
      result += line;
      result += crlf;
    }
    from = next;
  }
  return result;
}

str str::get_records(const str& key, char separator, const str& set) const {
  return get_records(key, empty, separator, set);
}
