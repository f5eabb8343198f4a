// RukFile: a named in-memory file, filled from hexadecimal text and read
// back in order as bytes or as hexadecimal text.
//
// Every live object stands in one process-wide list, newest first, so that
// a file can be found by its name. The list does not own the objects: each
// enters it when constructed and leaves it when destroyed, so an object
// must not be moved or copied while it is listed (copying is deleted).
#pragma once

#include "lib/str.h"

class RukFile {
 public:
  str content;
  int position;  // bytes already read from the start of content
  str name;
  RukFile* next;

  // The newest live object, or null.
  static RukFile* first_file;

  explicit RukFile(const str& file_name);
  ~RukFile();
  RukFile(const RukFile&) = delete;
  RukFile& operator=(const RukFile&) = delete;

  // Appends the bytes that hex_text spells; false, and nothing appended,
  // when it spells none or holds a character that is no hexadecimal digit.
  bool append_hex(const str& hex_text);
  // The next byte as 0..255, or 0 without moving once everything is read.
  int read_byte();
  // The next n bytes (fewer at the end; n < 0: the rest) as a view of
  // content, which the read position passes.
  str ReadBin(int n);
  // ReadBin(n) as upper-case hexadecimal text.
  str read_hex(int n);

  // The newest live object whose name equals file_name, ignoring letter
  // case; null when there is none.
  static RukFile* find(const str& file_name);
};
