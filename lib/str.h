// str: the program's one string type.
//
// A length-counted byte string (any byte, zero included, may occur in it) with
// value semantics over shared, reference-counted buffers. Copying, assigning,
// substr and get_field share the buffer and only record their own window
// [start, end) inside it; every writing operation first makes the buffer
// private to the writer (touch, copy on write). Equality ignores letter case.
//
// Buffers come from eleven size-class pools whose released blocks are kept for
// reuse; only blocks above the largest class go back to the heap. Running out
// of memory, or a length that 32 bits cannot hold, ends the process
// (lib/out_of_memory.h), except where try_touch and try_get_cstring ask.
//
// The three fields are public: code that needs the bytes reads them as
// ref->bytes[start .. end), and may write into that range after touch(0).
// Not thread-safe: the counts and pools are plain data.
#pragma once

#include <stddef.h>
#include <stdint.h>

class str {
 public:
  // One heap block: a share count, the capacity, then the bytes. While the
  // block lies on a pool's free list, the count word holds the list link.
  struct reference {
    union {
      int32_t count;
      reference* next_free;
    };
    int32_t size;
    char bytes[];
  };

  reference* ref;
  int32_t start;
  int32_t end;

  // The size classes: capacities 2^k - 12 for k = 6..16, so that a block with
  // its header (on the 32-bit phone) is four bytes short of a power of two.
  static constexpr int pool_classes = 11;
  static constexpr int32_t largest_class = 65524;
  static constexpr int32_t large_step = 32768;
  static int32_t class_capacity(int cls);

  static str empty;    // no buffer
  static str lws;      // space, tab, CR, LF
  static str crlf;     // CR LF
  static str space;    // " "
  static str newline;  // LF

  str() { allzero(); }
  str(const str& source) { linkto(source); }
  // A null text gives the empty string without buffer; "" gives a class-0 buffer.
  str(const char* text);  // NOLINT: implicit by design, texts are strs everywhere
  // n <= 0 gives the empty string; a null pointer gives n zero bytes.
  str(const char* bytes, int n);
  // Decimal text of value, zero-padded to width digits when width is 1..10.
  str(int value, int width);
  // n copies of ch.
  str(char ch, int n);
  ~str() { cleanup(); }

  str& operator=(const str& source);

  void allzero() {
    ref = nullptr;
    start = 0;
    end = 0;
  }
  // Drops this string's share of its buffer; start and end stay.
  void cleanup();
  // Shares source's buffer; the caller has dropped the old one first.
  void linkto(const str& source);

  // A block of the capacity for n bytes, count 1: the smallest class that
  // holds n, above the largest class whole steps of large_step.
  static reference* get_cstring(int n);
  // get_cstring, but null when the heap refuses or the capacity does not
  // fit in 32 bits.
  static reference* try_get_cstring(int n);
  static void release_cstring(reference* block);
  // A private block above the largest class resized (realloc) to the
  // capacity get_cstring(n) would give, n > largest_class; the bytes stay.
  // Null, the block untouched, when the heap refuses or the capacity does
  // not fit in 32 bits.
  static reference* try_resize_block(reference* block, int n);
  // Makes the buffer private and leaves room for n more bytes after end.
  void touch(int n);
  // touch(n) for a string that may outgrow the memory, such as a download:
  // whatever block it needs (a first one, one of a larger class, a private
  // large block resized), a heap that refuses, or a size beyond what 32 bits
  // hold, gives false and leaves the text as it was instead of ending the
  // process.
  bool try_touch(int n);

  static void* operator new(size_t size);
  static void operator delete(void* slot);

  str& append(const char* bytes, int n);
  str& operator+=(const str& other);
  str& operator+=(char ch);
  str& operator+=(const char* text);
  str operator+(const str& other) const;

  bool compare(const char* bytes, int n) const;
  bool compare_sensitiv(const char* bytes, int n) const;
  bool operator==(const str& other) const;
  bool operator==(const char* text) const;
  bool operator!=(const char* text) const;
  bool operator<(const str& other) const;

  int length() const { return end - start; }
  // The first byte, or a pointer to a static empty text when there is none.
  // Valid until the string changes.
  const char* data() const;
  char get_character(int i) const;
  void set_character(int i, char ch);
  // The text followed by a zero byte just past end (which may move the
  // bytes to a private buffer). Valid until the string changes.
  const char* c_str() const;
  int value() const;
  str substr(int position, int length) const;
  str get_field(int index, char separator, bool rest) const;

  // Fields, trimming, lines and records. None of these changes the string:
  // results are views into its buffer, except where a new text is built.
  // A line ends at CR, LF, CR LF or LF CR; with fold set, CR LF followed by
  // a space or a tab continues the line. Lines are counted from 0.
  static bool one_of(char ch, const str& set);
  // Field index of the text split at any byte of separators; runs of
  // separators count as one, there are no quotes.
  str get_field(int index, const str& separators) const;
  // A view without the leading and trailing bytes that are in set.
  str strip_whitespace(const str& set) const;
  // Buffer index (the coordinates of start and end) where line n begins,
  // or end when there is no such line.
  int first_letter_of_line(int n, bool fold) const;
  // Buffer index just past the last byte of line n before its break; never
  // before the line's first index.
  int last_letter_of_line(int n, bool fold) const;
  // Line n without its break; an empty line gives the empty string, as a
  // missing one does.
  str get_line(int n, bool fold) const;
  bool has_line(int n, bool fold) const { return first_letter_of_line(n, fold) < end; }
  // Returns the first line and leaves this string as the view of the lines
  // after it (empty after the last).
  str take_first_line(bool fold);

  // Record texts: lines of key, separator, value. A key field matches key,
  // or alternative when that is not empty, ignoring letter case; the
  // reading operations trim the key field with set first.
  // The first matching line of the whole text, without its break.
  str get_record(const str& key, const str& alternative, char separator, const str& set) const;
  str get_record(const str& key, char separator, const str& set) const;
  // The value of that line, after the separator that follows the key,
  // trimmed with set.
  str get_record_content(const str& key, const str& alternative, char separator,
                         const str& set) const;
  str get_record_content(const str& key, char separator, const str& set) const;
  // A copy of the text with the first matching line of the record block
  // (the lines before the first empty line) replaced by key, separator,
  // filler, content and CR LF, continuation lines included; without a match
  // that line is inserted before the first empty line or appended.
  str set_record_content(const str& key, const str& alternative, const str& content, char separator,
                         const str& filler) const;
  str set_record_content(const str& key, const str& content, char separator,
                         const str& filler) const;
  // Every matching line of the record block, each followed by CR LF.
  str get_records(const str& key, const str& alternative, char separator, const str& set) const;
  str get_records(const str& key, char separator, const str& set) const;

  // Comparison where letter case counts, and the remaining orderings.
  bool is_equal_sensitiv(const str& other) const;
  bool is_equal_sensitiv(const char* text) const;
  bool operator!=(const str& other) const;
  bool operator>(const str& other) const { return other < *this; }
  // Whether the text is a decimal integer: an optional minus sign and
  // digits, with blanks around them. A lone minus sign passes (its value is 0).
  bool is_number() const;

  // Line editing: each returns the edited text and leaves this one alone.
  // A line's break belongs to it; an inserted text is taken as it is, with
  // its own break if one is wanted.
  // Position of the first occurrence of pattern (bytes compared exactly),
  // or -1; 0 for an empty pattern.
  int find(const str& pattern) const;
  // text inserted where line n begins; appended beyond the last line.
  str insert_line(const str& text, int n, bool fold) const;
  // Without line n and its break; unchanged when there is no line n.
  str remove_line(int n, bool fold) const;
  // Line n and its break replaced by text; text appended when there is no
  // line n, put in front for n below 0.
  str replace_line(const str& text, int n, bool fold) const;
  str to_lower() const;
  str to_upper() const;

  // Files. No descriptor stays open on any path.
  // The whole content of the file; the empty string when it cannot be read
  // completely.
  static str read_file(const str& path);
  // Writes this string as the whole file, creating missing directories of
  // the path first; false unless every byte was written.
  bool write_file(const str& path) const;
  // One entry name per line, each followed by CR LF, "." and ".." included;
  // the empty string when the directory cannot be opened.
  static str list_directory(const str& path);
  // unlink's result: 0 on success.
  static int remove_file(const str& path);

 private:
  // Appends n bytes that lie inside this string's own buffer, which is about
  // to move: the old block is kept alive until they have been copied.
  void append_own(const char* bytes, int n);
  // Buffer index where line n begins, counted from the line that begins at
  // from; end when there is none.
  int line_begin(int from, int n, bool fold) const;
  // Steps back from next over CR and LF, not before from.
  int line_end(int from, int next) const;
  // Where the line after line n begins, given first, where line n begins.
  int next_line_begin(int first, int n, bool fold) const;
};
