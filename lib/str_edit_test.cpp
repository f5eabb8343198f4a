#include <gtest/gtest.h>

#include <string>

#include "lib/str.h"

namespace {

std::string text(const str& s) {
  return std::string(s.data(), static_cast<size_t>(s.length()));
}

TEST(StrFind, PositionOfTheFirstExactOccurrence) {
  str hello("hello");
  EXPECT_EQ(hello.find("lo"), 3);
  EXPECT_EQ(hello.find("l"), 2);
  EXPECT_EQ(hello.find("hello"), 0);
  EXPECT_EQ(hello.find(str()), 0);
  EXPECT_EQ(hello.find("hello!"), -1);
  EXPECT_EQ(hello.find("LO"), -1) << "letter case counts in a search";
  EXPECT_EQ(str().find("a"), -1);
  EXPECT_EQ(str("a\0b\0c", 5).find(str("\0c", 2)), 3);
  str view = str("lolo").substr(1, -1);  // "olo"
  EXPECT_EQ(view.find("lo"), 1) << "counted from the view's first byte";
  EXPECT_EQ(view.find("lol"), -1);
}

TEST(StrEdit, RemoveInsertAndReplaceWholeLinesWithTheirBreaks) {
  str three("one\ntwo\nthree");
  EXPECT_EQ(text(three.remove_line(1, false)), "one\nthree");
  EXPECT_EQ(text(three.remove_line(2, false)), "one\ntwo\n");
  EXPECT_EQ(text(three.insert_line("new\n", 1, false)), "one\nnew\ntwo\nthree");
  EXPECT_EQ(text(three.replace_line("2\n", 1, false)), "one\n2\nthree");
  EXPECT_EQ(text(three.replace_line("3", 2, false)), "one\ntwo\n3");
  EXPECT_EQ(text(three), "one\ntwo\nthree");

  str folded("a: 1\r\n 2\r\nb: 3\r\n");
  EXPECT_EQ(text(folded.remove_line(0, true)), "b: 3\r\n");
  EXPECT_EQ(text(folded.remove_line(0, false)), " 2\r\nb: 3\r\n");
}

TEST(StrEdit, BeyondTheLastLineRemoveKeepsAndInsertOrReplaceAppend) {
  str two("a\r\nb");
  EXPECT_EQ(text(two.remove_line(5, false)), "a\r\nb");
  EXPECT_EQ(text(two.insert_line("c", 5, false)), "a\r\nbc");
  EXPECT_EQ(text(two.replace_line("c", 5, false)), "a\r\nbc");
  str ended("a\r\n");
  EXPECT_EQ(text(ended.replace_line("b\r\n", 1, false)), "a\r\nb\r\n");
  EXPECT_EQ(text(str().replace_line("x", 0, false)), "x");
  EXPECT_EQ(str().remove_line(0, false).ref, nullptr);
}

TEST(StrEdit, EditsThatLeaveOneWindowShareTheBuffer) {
  str s("one\ntwo\nthree");
  EXPECT_EQ(s.remove_line(0, false).ref, s.ref);
  EXPECT_EQ(s.remove_line(2, false).ref, s.ref);
  EXPECT_EQ(s.insert_line(str(), 1, false).ref, s.ref);
  str middle = s.remove_line(1, false);
  EXPECT_NE(middle.ref, s.ref);
  EXPECT_EQ(middle.ref->count, 1);
}

TEST(StrCase, ConversionTouchesOnlyAsciiLetters) {
  str mixed(
      "Ab-Z\xc4"
      "z0");
  EXPECT_EQ(text(mixed.to_lower()),
            "ab-z\xc4"
            "z0");
  EXPECT_EQ(text(mixed.to_upper()),
            "AB-Z\xc4"
            "Z0");
  EXPECT_EQ(text(mixed),
            "Ab-Z\xc4"
            "z0");
  str lower("abc-1");
  EXPECT_EQ(lower.to_lower().ref, lower.ref) << "nothing to change: shared";
  EXPECT_NE(lower.to_upper().ref, lower.ref);
  EXPECT_EQ(str().to_upper().ref, nullptr);
  EXPECT_EQ(text(str("xAy").substr(1, 1).to_lower()), "a");
}

}  // namespace
