#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "lib/str.h"
#include "tests/str_text.h"

namespace {

// Where each line after the first begins, as positions in the string.
std::vector<int> later_line_starts(const str& s, bool fold) {
  std::vector<int> starts;
  for (int n = 1; s.first_letter_of_line(n, fold) < s.end; ++n) {
    starts.push_back(s.first_letter_of_line(n, fold) - s.start);
  }
  return starts;
}

TEST(StrLines, EachKindOfBreakAndWhereTheNextLineBegins) {
  struct {
    const char* text;
    bool fold;
    std::vector<int> starts;
  } cases[] = {
      // clang-format off
      {"a\rb", false, {2}},        {"a\nb", false, {2}},
      {"a\r\nb", false, {3}},      {"a\n\rb", false, {3}},       // each pair is one break
      {"a\r\rb", false, {2, 3}},   {"a\n\nb", false, {2, 3}},    // two breaks: an empty line
      {"a\r\n\nb", false, {3, 4}}, {"a\n\r\rb", false, {3, 4}},
      {"a\r\n b", false, {3}},     {"a\r\n b", true, {}},        // folding after CR LF only
      {"a\r\n\tb", true, {}},      {"a\r b", true, {2}},
      {"a\n b", true, {2}},        {"a\n\r b", true, {3}},
      {"a\r\n\r\nb", true, {3, 5}}, {"a\r\nb\r\n c\r\nd", true, {3, 10}},
      {"a\r\n", false, {}},        {"a\r\r", false, {2}},        // a final break opens no line
      {"", false, {}},             {"\n", false, {}},
      // clang-format on
  };
  for (const auto& c : cases) {
    EXPECT_EQ(later_line_starts(str(c.text), c.fold), c.starts)
        << '"' << c.text << "\" fold " << c.fold;
  }
}

TEST(StrLines, IndexesAreBufferIndexesAndAViewEndsWhereItsWindowEnds) {
  str whole("xx\r\nab\r\n cd");
  str view = whole.substr(4, -1);  // "ab\r\n cd"
  EXPECT_EQ(view.first_letter_of_line(0, false), 4);
  EXPECT_EQ(view.first_letter_of_line(1, false), 8);
  EXPECT_EQ(view.first_letter_of_line(2, false), view.end);
  EXPECT_EQ(view.first_letter_of_line(1, true), view.end);
  EXPECT_EQ(view.last_letter_of_line(0, false), 6);
  EXPECT_EQ(view.last_letter_of_line(0, true), 11);

  // The bytes after a view's end are not part of it: the blank that would
  // fold this CR LF lies outside.
  str cut = whole.substr(0, 8);  // "xx\r\nab\r\n"
  EXPECT_FALSE(cut.has_line(2, true));
  EXPECT_EQ(text(cut.get_line(1, true)), "ab");
  EXPECT_EQ(cut.last_letter_of_line(1, true), 6);
}

TEST(StrLines, LastLetterOfLineStaysInsideItsLine) {
  str s("ab\r\rcd\r\n");
  EXPECT_EQ(s.last_letter_of_line(0, false), 2);
  // Line 1 is empty: its end is its beginning, not the end of line 0.
  EXPECT_EQ(s.first_letter_of_line(1, false), 3);
  EXPECT_EQ(s.last_letter_of_line(1, false), 3);
  EXPECT_EQ(s.last_letter_of_line(2, false), 6);
  EXPECT_EQ(s.last_letter_of_line(3, false), s.end);
  EXPECT_EQ(s.last_letter_of_line(-1, false), s.start);
}

TEST(StrLines, LinesAreViewsAndTakingOneLeavesTheRest) {
  str s("one\r\ntwo\n\nfour\r\n");
  EXPECT_EQ(text(s.get_line(1, false)), "two");
  EXPECT_EQ(s.get_line(1, false).ref, s.ref);
  EXPECT_EQ(s.get_line(2, false).ref, nullptr) << "an empty line is the empty string";
  EXPECT_EQ(s.get_line(4, false).ref, nullptr);

  str::reference* buffer = s.ref;
  EXPECT_EQ(text(s.take_first_line(false)), "one");
  EXPECT_EQ(text(s), "two\n\nfour\r\n");
  EXPECT_EQ(s.ref, buffer);
  str last("abc\r\n");
  EXPECT_EQ(text(last.take_first_line(false)), "abc");
  EXPECT_EQ(last.ref, nullptr);
}

// An independent line splitter: breaks found left to right, longest pair
// first, a folded CR LF kept inside its line.
struct span {
  size_t begin;
  size_t end;  // before the break
};

std::vector<span> split_lines(const std::string& t, bool fold) {
  std::vector<span> lines;
  size_t begin = 0;
  size_t i = 0;
  while (i < t.size()) {
    size_t width = 0;
    if (t[i] == '\r' && i + 1 < t.size() && t[i + 1] == '\n') {
      if (fold && i + 2 < t.size() && (t[i + 2] == ' ' || t[i + 2] == '\t')) {
        i += 3;
        continue;
      }
      width = 2;
    } else if (t[i] == '\n' && i + 1 < t.size() && t[i + 1] == '\r') {
      width = 2;
    } else if (t[i] == '\r' || t[i] == '\n') {
      width = 1;
    } else {
      ++i;
      continue;
    }
    lines.push_back({begin, i});
    i += width;
    begin = i;
  }
  if (begin < t.size()) lines.push_back({begin, t.size()});
  return lines;
}

TEST(StrLinesProperty, LineOperationsAgreeWithAnIndependentSplitter) {
  std::mt19937 random(20240611);
  const char alphabet[] = {'\r', '\n', ' ', '\t', 'a', 'b'};
  for (int round = 0; round < 3000; ++round) {
    std::string t;
    size_t size = random() % 20;
    for (size_t i = 0; i < size; ++i) t += alphabet[random() % sizeof alphabet];
    bool fold = random() % 2 == 1;
    // The text is a view between bytes that would change its lines if they
    // were read.
    str whole = bytes("\r\n" + t + "\n \tz");
    str s = whole.substr(2, static_cast<int>(t.size()));
    std::vector<span> lines = split_lines(t, fold);
    int count = static_cast<int>(lines.size());
    SCOPED_TRACE(testing::PrintToString(t) + (fold ? " folded" : ""));

    for (int n = -1; n <= count + 1; ++n) {
      bool exists = n < count && (n >= 0 || count > 0);
      ASSERT_EQ(s.has_line(n, fold), exists) << "line " << n;
      std::string expected =
          n >= 0 && n < count ? t.substr(lines[n].begin, lines[n].end - lines[n].begin) : "";
      if (n < 0 && count > 0) expected = t.substr(lines[0].begin, lines[0].end);
      ASSERT_EQ(text(s.get_line(n, fold)), expected) << "line " << n;

      // Line n runs from c to d; beyond the last line both are the end, and
      // below line 0 both are the start.
      size_t c = n < 0 ? 0 : n < count ? lines[n].begin : t.size();
      size_t d = n < 0 ? 0 : n + 1 < count ? lines[n + 1].begin : t.size();
      ASSERT_EQ(s.first_letter_of_line(n, fold) - s.start, static_cast<int>(c));
      ASSERT_EQ(text(s.insert_line("X\n", n, fold)), t.substr(0, c) + "X\n" + t.substr(c));
      ASSERT_EQ(text(s.remove_line(n, fold)), t.substr(0, c) + t.substr(d));
      ASSERT_EQ(text(s.replace_line("X\n", n, fold)), t.substr(0, c) + "X\n" + t.substr(d));
    }

    str rest = s;
    for (int n = 0; n < count; ++n) {
      ASSERT_EQ(text(rest.take_first_line(fold)),
                t.substr(lines[n].begin, lines[n].end - lines[n].begin));
    }
    ASSERT_EQ(rest.length(), 0);
  }
}

}  // namespace
