#include <gtest/gtest.h>

#include "lib/str.h"
#include "tests/str_text.h"

namespace {

TEST(StrField, DottedQuadFields) {
  str ip("192.168.1.20");
  EXPECT_EQ(text(ip.get_field(0, '.', false)), "192");
  EXPECT_EQ(text(ip.get_field(1, '.', false)), "168");
  EXPECT_EQ(text(ip.get_field(2, '.', false)), "1");
  EXPECT_EQ(text(ip.get_field(3, '.', false)), "20");
  EXPECT_EQ(ip.get_field(4, '.', false).length(), 0);
  EXPECT_EQ(ip.get_field(1, '.', false).ref, ip.ref) << "a field is a view";
  EXPECT_EQ(text(str(".1..2").get_field(1, '.', false)), "2");
  EXPECT_EQ(text(str("...").get_field(0, '.', false)), "");
  EXPECT_EQ(str().get_field(0, '.', false).ref, nullptr);
}

TEST(StrField, RestFlagKeepsTheRemainderWhole) {
  str location("tftp://host/dir/file");
  EXPECT_EQ(text(location.get_field(0, ':', false)), "tftp");
  EXPECT_EQ(text(location.get_field(1, ':', true)), "//host/dir/file");
  EXPECT_EQ(text(str("//host/dir/file").get_field(1, '/', true)), "dir/file");
  EXPECT_EQ(text(str("a,\"b,c").get_field(1, ',', true)), "\"b,c");
}

TEST(StrField, QuotedFieldsKeepSeparatorsAndStopAtLineEnds) {
  str quoted("\"x,y\",z");
  EXPECT_EQ(text(quoted.get_field(0, ',', false)), "x,y");
  EXPECT_EQ(text(quoted.get_field(1, ',', false)), "z");
  EXPECT_EQ(text(str("\"\",b").get_field(1, ',', false)), "b");
  EXPECT_EQ(text(str("\"open,x").get_field(0, ',', false)), "open,x");
  EXPECT_EQ(text(str("\"ab\"cd,e").get_field(1, ',', false)), "cd")
      << "a byte right after a closing quote begins the next field";
  EXPECT_EQ(text(str("ab\r\ncd,e").get_field(0, ',', false)), "ab");
  EXPECT_EQ(text(str("\"ab\ncd\",e").get_field(0, ',', false)), "ab") << "quoted, too";
  EXPECT_EQ(text(str("\"ab\rcd\",e").get_field(0, ',', false)), "ab");
  EXPECT_EQ(text(str("ab\r\ncd,e").get_field(1, ',', false)), "e")
      << "CR and LF do not end a field being skipped";
  EXPECT_EQ(str("\ncd").get_field(0, ',', false).length(), 0);
}

}  // namespace
