#include <gtest/gtest.h>

#include <string>

#include "lib/str.h"
#include "tests/str_text.h"

namespace {

TEST(StrSet, OneOfComparesWithEveryByteOfTheSet) {
  EXPECT_FALSE(str::one_of(' ', str()));
  EXPECT_FALSE(str::one_of('\0', str()));
  EXPECT_TRUE(str::one_of('\n', str::lws));
  EXPECT_FALSE(str::one_of('x', str::lws));
  EXPECT_TRUE(str::one_of('\0', str("a\0", 2)));
  EXPECT_TRUE(str::one_of('\xff', str("\xff")));
  // Only the set's own window counts.
  str whole("ab:cd");
  EXPECT_FALSE(str::one_of(':', whole.substr(0, 2)));
}

TEST(StrSet, FieldsSplitAtAnyByteOfTheSetAndRunsCountAsOne) {
  str blanks(" \t");
  str s(" ab  \tcd");
  EXPECT_EQ(text(s.get_field(0, blanks)), "ab");
  EXPECT_EQ(text(s.get_field(1, blanks)), "cd");
  EXPECT_EQ(s.get_field(1, blanks).ref, s.ref) << "a field is a view";
  EXPECT_EQ(s.get_field(2, blanks).ref, nullptr);
  EXPECT_EQ(text(s.get_field(-3, blanks)), "ab");

  // No quotes, and CR and LF are ordinary bytes here.
  str path("\\a/\"b c\"\r\n/d\\");
  str slashes("\\/");
  EXPECT_EQ(text(path.get_field(0, slashes)), "a");
  EXPECT_EQ(text(path.get_field(1, slashes)), "\"b c\"\r\n");
  EXPECT_EQ(text(path.get_field(2, slashes)), "d");
  EXPECT_EQ(path.get_field(3, slashes).ref, nullptr);
  EXPECT_EQ(str("//").get_field(0, slashes).ref, nullptr);
  EXPECT_EQ(str().get_field(0, slashes).ref, nullptr);
  EXPECT_EQ(text(str("abc").get_field(0, str())), "abc") << "an empty set never splits";
}

TEST(StrSet, FieldsOfAViewStayInsideItsWindow) {
  str whole("x,y,z,w");
  str view = whole.substr(2, 3);  // "y,z"
  str comma(",");
  EXPECT_EQ(text(view.get_field(1, comma)), "z");
  EXPECT_EQ(view.get_field(2, comma).ref, nullptr);
}

TEST(StrSet, StripWhitespaceTrimsBothEnds) {
  str s("  x y\r\n");
  EXPECT_EQ(text(s.strip_whitespace(str::lws)), "x y");
  EXPECT_EQ(s.strip_whitespace(str::lws).ref, s.ref);
  EXPECT_EQ(str(" \t \t").strip_whitespace(str::lws).ref, nullptr);
  EXPECT_EQ(text(s.strip_whitespace(str())), "  x y\r\n") << "an empty set trims nothing";
  EXPECT_EQ(text(str("xx-ab-x").strip_whitespace(str("x-"))), "ab");
  EXPECT_EQ(text(str("a").strip_whitespace(str::lws)), "a");
  EXPECT_EQ(str().strip_whitespace(str::lws).ref, nullptr);
}

}  // namespace
