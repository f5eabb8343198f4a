// str::get_field in both forms (one separator byte with quotes and the rest
// flag; a set of separators), and str::strip_whitespace: each result is
// exactly the view a reference reading of the field rules finds, a view of
// the source's buffer, and the source is left unchanged.
#include <fuzzer/FuzzedDataProvider.h>

#include <optional>
#include <utility>

#include "fuzz/fuzz_check.h"

namespace {

using span = std::optional<std::pair<size_t, size_t>>;  // [begin, end) in the text

span field_by_byte(const std::string& t, int index, char sep, bool rest) {
  size_t n = t.size();
  if (n == 0) return std::nullopt;
  size_t p = 0;
  while (p < n && t[p] == sep) ++p;
  if (p == n) return std::nullopt;
  for (int i = 0; i < index; ++i) {
    if (t[p] == '"') {
      if (p + 1 < n && t[p + 1] == '"') {
        p += 2;
      } else {
        size_t close = t.find('"', p + 1);
        if (close == std::string::npos) return std::nullopt;
        p = close + 1;
      }
    } else {
      size_t next = t.find(sep, p);
      if (next == std::string::npos) return std::nullopt;
      p = next;
    }
    while (p < n && t[p] == sep) ++p;
    if (p == n) return std::nullopt;
  }
  if (rest) return std::make_pair(p, n);
  if (t[p] == '"') {
    size_t q = p + 1;
    while (q < n && t[q] != '"' && t[q] != '\r' && t[q] != '\n') ++q;
    return std::make_pair(p + 1, q);
  }
  size_t q = p;
  while (q < n && t[q] != sep && t[q] != '\r' && t[q] != '\n') ++q;
  return std::make_pair(p, q);
}

span field_by_set(const std::string& t, int index, const std::string& set) {
  auto in_set = [&](char c) { return set.find(c) != std::string::npos; };
  size_t n = t.size();
  size_t p = 0;
  while (p < n && in_set(t[p])) ++p;
  if (p == n) return std::nullopt;
  for (int i = 0; i < index; ++i) {
    while (p < n && !in_set(t[p])) ++p;
    if (p == n) return std::nullopt;
    while (p < n && in_set(t[p])) ++p;
    if (p == n) return std::nullopt;
  }
  size_t q = p;
  while (q < n && !in_set(t[q])) ++q;
  return std::make_pair(p, q);
}

void check_view(const str& result, const str& source, const span& expected) {
  FUZZ_CHECK(fuzz::view_inside(result, source));
  if (!expected) {
    FUZZ_CHECK(result.ref == nullptr && result.length() == 0);
    return;
  }
  FUZZ_CHECK(result.ref == source.ref);
  FUZZ_CHECK(static_cast<size_t>(result.start - source.start) == expected->first);
  FUZZ_CHECK(static_cast<size_t>(result.end - source.start) == expected->second);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  int index = in.ConsumeIntegralInRange<int>(-2, 12);
  char sep = in.ConsumeIntegral<char>();
  bool rest = in.ConsumeBool();
  std::string set = in.ConsumeRandomLengthString(8);
  std::string text = in.ConsumeRemainingBytesAsString();

  str whole;
  str s = fuzz::embedded(text, &whole);
  str set_str = bytes(set);

  str by_byte = s.get_field(index, sep, rest);
  check_view(by_byte, s, field_by_byte(text, index, sep, rest));

  str by_set = s.get_field(index, set_str);
  check_view(by_set, s, field_by_set(text, index, set));
  if (!set.empty() && by_set.length() > 0) {
    for (int i = by_set.start; i < by_set.end; ++i)
      FUZZ_CHECK(!str::one_of(s.ref->bytes[i], set_str));
  }

  // With one byte as the set, the set form agrees with the byte form on
  // texts without quotes and line breaks.
  if (text.find_first_of("\"\r\n") == std::string::npos && sep != '"' && sep != '\r' &&
      sep != '\n') {
    str one = s.get_field(index, str(&sep, 1));
    str plain = s.get_field(index, sep, false);
    FUZZ_CHECK(one.ref == plain.ref && one.start == plain.start && one.end == plain.end);
  }

  // Trimming: a view without leading or trailing bytes of the set.
  str trimmed = s.strip_whitespace(set_str);
  FUZZ_CHECK(fuzz::view_inside(trimmed, s));
  if (set.empty() || text.empty()) {
    FUZZ_CHECK(fuzz::bytes_of(trimmed) == text);
  } else {
    size_t first = text.find_first_not_of(set);
    if (first == std::string::npos) {
      FUZZ_CHECK(trimmed.ref == nullptr && trimmed.length() == 0);
    } else {
      size_t last = text.find_last_not_of(set);
      FUZZ_CHECK(fuzz::bytes_of(trimmed) == text.substr(first, last - first + 1));
      FUZZ_CHECK(trimmed.start - s.start == static_cast<int32_t>(first));
    }
  }

  FUZZ_CHECK(fuzz::bytes_of(s) == text);
  FUZZ_CHECK(fuzz::bytes_of(whole) == "<<" + text + ">>");
  return 0;
}
