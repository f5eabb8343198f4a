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
// of memory ends the process with a message on standard error.
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

  static reference* get_cstring(int n);
  static void release_cstring(reference* block);
  // Makes the buffer private and leaves room for n more bytes after end.
  void touch(int n);

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

 private:
  // Appends n bytes that lie inside this string's own buffer, which is about
  // to move: the old block is kept alive until they have been copied.
  void append_own(const char* bytes, int n);
};

// Ends the process with a message on standard error; for allocations that
// cannot be satisfied. Never returns.
[[noreturn]] void out_of_memory(long long bytes);
