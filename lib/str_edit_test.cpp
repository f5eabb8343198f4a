#include <gtest/gtest.h>

#include <string>

#include "lib/str.h"
#include "tests/str_text.h"

namespace {

TEST(StrFind, PositionOfTheFirstExactOccurrenceInTheWindow) {
  str hello("hello");
  EXPECT_EQ(hello.find("lo"), 3);
  EXPECT_EQ(hello.find(str()), 0);
  EXPECT_EQ(hello.find("hello!"), -1);
  EXPECT_EQ(hello.find("LO"), -1) << "letter case counts in a search";
  EXPECT_EQ(str("a\0b\0c", 5).find(str("\0c", 2)), 3);
  str view = str("lolo").substr(1, -1);  // "olo"
  EXPECT_EQ(view.find("lo"), 1);
  EXPECT_EQ(view.find("lol"), -1);
}

TEST(StrEdit, EditsShareTheBufferWhenTheResultIsOneWindowOfIt) {
  str s("one\ntwo\nthree");
  EXPECT_EQ(s.remove_line(0, false).ref, s.ref);
  EXPECT_EQ(s.remove_line(2, false).ref, s.ref);
  EXPECT_EQ(s.insert_line(str(), 1, false).ref, s.ref);
  str middle = s.remove_line(1, false);
  EXPECT_EQ(text(middle), "one\nthree");
  EXPECT_EQ(middle.ref->count, 1);
  EXPECT_EQ(text(s), "one\ntwo\nthree");
}

TEST(StrCase, ConversionTouchesOnlyAsciiLetters) {
  str mixed("Ab-Z\xc4z0");
  EXPECT_EQ(text(mixed.to_lower()), "ab-z\xc4z0");
  EXPECT_EQ(text(mixed.to_upper()), "AB-Z\xc4Z0");
  str lower("abc-1");
  EXPECT_EQ(lower.to_lower().ref, lower.ref) << "nothing to change: shared";
  EXPECT_EQ(text(lower.to_upper()), "ABC-1");
  EXPECT_EQ(text(lower), "abc-1");
  EXPECT_EQ(text(str("xAy").substr(1, 1).to_lower()), "a");
}

}  // namespace
