// str: construction, sharing, copy on write, building and comparison.
#include "lib/str.h"

#include <string.h>
#include <strings.h>

#include "lib/init_order.h"
#include "lib/out_of_memory.h"

// One static initialiser, in this order; destroyed in reverse at exit.
str str::empty RUK_INIT(RUK_INIT_STRINGS);
str str::lws RUK_INIT(RUK_INIT_STRINGS)(" \t\r\n");
str str::crlf RUK_INIT(RUK_INIT_STRINGS)("\r\n");
str str::space RUK_INIT(RUK_INIT_STRINGS)(" ");
str str::newline RUK_INIT(RUK_INIT_STRINGS)("\n");

namespace {
const char no_text[1] = {0};
}

str::str(const char* text) {
  allzero();
  if (text == nullptr) return;
  int n = static_cast<int>(strlen(text));
  ref = get_cstring(n);
  memcpy(ref->bytes, text, static_cast<size_t>(n));
  end = n;
}

str::str(const char* bytes, int n) {
  allzero();
  if (n <= 0) return;
  ref = get_cstring(n);
  if (bytes != nullptr) {
    memcpy(ref->bytes, bytes, static_cast<size_t>(n));
  } else {
    memset(ref->bytes, 0, static_cast<size_t>(n));
  }
  end = n;
}

str::str(char ch, int n) {
  allzero();
  if (n <= 0) return;
  ref = get_cstring(checked_size(n + 1LL));
  memset(ref->bytes, ch, static_cast<size_t>(n));
  end = n;
}

str& str::operator=(const str& source) {
  if (ref == source.ref) {
    start = source.start;
    end = source.end;
    return *this;
  }
  cleanup();
  linkto(source);
  return *this;
}

void str::cleanup() {
  if (ref == nullptr) return;
  if (--ref->count <= 0) release_cstring(ref);
  ref = nullptr;
}

void str::linkto(const str& source) {
  ref = source.ref;
  if (ref != nullptr) ++ref->count;
  start = source.start;
  end = source.end;
}

void str::touch(int n) {
  if (!try_touch(n)) out_of_memory(static_cast<long long>(length()) + (n < 0 ? 0 : n));
}

bool str::try_touch(int n) {
  if (n < 0) n = 0;
  bool own = ref != nullptr && ref->count == 1;
  if (own && static_cast<long long>(ref->size) >= static_cast<long long>(end) + n) return true;
  long long wanted = static_cast<long long>(length()) + n;
  if (wanted > INT32_MAX) return false;
  int len = length();
  if (own && ref->size > largest_class && wanted > largest_class) {
    // A private heap block is resized where it lies, so that a string
    // growing by small appends (a download) does not copy itself whole at
    // every 32768-byte step. The bytes go to its beginning first, where a
    // new block would hold them; a heap that refuses leaves the block, and
    // with it the text, as it was.
    if (start > 0) memmove(ref->bytes, ref->bytes + start, static_cast<size_t>(len));
    start = 0;
    end = len;
    reference* block = try_resize_block(ref, static_cast<int>(wanted));
    if (block == nullptr) return false;
    ref = block;
    return true;
  }
  reference* block = try_get_cstring(static_cast<int>(wanted));
  if (block == nullptr) return false;
  if (len > 0) memcpy(block->bytes, ref->bytes + start, static_cast<size_t>(len));
  cleanup();
  ref = block;
  start = 0;
  end = len;
  return true;
}

str& str::append(const char* bytes, int n) {
  if (n < 0) n = 0;
  if (n > 0 && ref != nullptr && bytes >= ref->bytes && bytes < ref->bytes + ref->size) {
    append_own(bytes, n);
    return *this;
  }
  touch(n);
  if (n > 0) memcpy(ref->bytes + end, bytes, static_cast<size_t>(n));
  end += n;
  return *this;
}

void str::append_own(const char* bytes, int n) {
  bool moves =
      !(ref->count == 1 && static_cast<long long>(ref->size) >= static_cast<long long>(end) + n);
  reference* old = ref;
  if (moves) ++old->count;  // keeps the source bytes alive across touch
  touch(n);
  memmove(ref->bytes + end, bytes, static_cast<size_t>(n));
  end += n;
  if (moves && --old->count <= 0) release_cstring(old);
}

str& str::operator+=(const str& other) {
  if (other.length() == 0) return *this;
  return append(other.ref->bytes + other.start, other.length());
}

str& str::operator+=(char ch) {
  return append(&ch, 1);
}

str& str::operator+=(const char* text) {
  return append(text, static_cast<int>(strlen(text)));
}

str str::operator+(const str& other) const {
  int32_t total = checked_size(static_cast<long long>(length()) + other.length());
  str result;
  result.ref = get_cstring(total);
  if (length() > 0) memcpy(result.ref->bytes, ref->bytes + start, static_cast<size_t>(length()));
  if (other.length() > 0) {
    memcpy(result.ref->bytes + length(), other.ref->bytes + other.start,
           static_cast<size_t>(other.length()));
  }
  result.end = total;
  return result;
}

bool str::compare(const char* bytes, int n) const {
  if (length() != n) return false;
  return n == 0 || strncasecmp(ref->bytes + start, bytes, static_cast<size_t>(n)) == 0;
}

bool str::compare_sensitiv(const char* bytes, int n) const {
  if (length() != n) return false;
  return n == 0 || strncmp(ref->bytes + start, bytes, static_cast<size_t>(n)) == 0;
}

bool str::operator==(const str& other) const {
  if (other.length() == 0) return length() == 0;
  return compare(other.ref->bytes + other.start, other.length());
}

bool str::operator==(const char* text) const {
  return compare(text, static_cast<int>(strlen(text)));
}

bool str::operator!=(const char* text) const {
  return !compare(text, static_cast<int>(strlen(text)));
}

bool str::operator!=(const str& other) const {
  return !(*this == other);
}

// Equality where letter case counts.
bool str::is_equal_sensitiv(const str& other) const {
  if (other.length() == 0) return length() == 0;
  return compare_sensitiv(other.ref->bytes + other.start, other.length());
}

bool str::is_equal_sensitiv(const char* text) const {
  return compare_sensitiv(text, static_cast<int>(strlen(text)));
}

namespace {
signed char upper(signed char c) {
  return c >= 'a' && c <= 'z' ? static_cast<signed char>(c - 32) : c;
}
}  // namespace

bool str::operator<(const str& other) const {
  int common = length() < other.length() ? length() : other.length();
  for (int i = 0; i < common; ++i) {
    signed char a = upper(static_cast<signed char>(ref->bytes[start + i]));
    signed char b = upper(static_cast<signed char>(other.ref->bytes[other.start + i]));
    if (a != b) return a < b;
  }
  return length() < other.length();
}

const char* str::data() const {
  return length() > 0 ? ref->bytes + start : no_text;
}

char str::get_character(int i) const {
  if (i < 0 || i >= length()) return 0;
  return ref->bytes[start + i];
}

void str::set_character(int i, char ch) {
  if (i < 0) return;
  if (i < length()) {
    touch(0);
  } else {
    touch(checked_size(i + 1LL - length()));
    int old_end = end;
    end = start + i + 1;
    // Bytes skipped between the old end and i read as zero.
    memset(ref->bytes + old_end, 0, static_cast<size_t>(end - old_end));
  }
  ref->bytes[start + i] = ch;
}

const char* str::c_str() const {
  if (length() == 0) return no_text;
  // Declared const because callers treat the text as unchanged; the
  // terminator lies outside the window, but the buffer may become private.
  str* self = const_cast<str*>(this);
  *self += '\0';
  --self->end;
  return ref->bytes + start;
}

str str::substr(int position, int len) const {
  if (position < 0) {
    // Any sum below zero means "to the end", as a negative length does.
    long long shortened = static_cast<long long>(len) + position;
    len = shortened < 0 ? -1 : static_cast<int>(shortened);
    position = 0;
  }
  int available = length() - position;
  if (available < 0) available = 0;
  if (len < 0 || len > available) len = available;
  if (len == 0) return empty;
  str view(*this);
  view.start = start + position;
  view.end = view.start + len;
  return view;
}
