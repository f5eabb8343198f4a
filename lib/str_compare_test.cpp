#include <gtest/gtest.h>

#include "lib/str.h"

namespace {

TEST(StrCompare, EqualityIgnoresCaseOrderIsCaseInsensitive) {
  EXPECT_TRUE(str("ABC") == "abc");
  EXPECT_TRUE(str("ABC") == str("abc"));
  EXPECT_FALSE(str("ABC").compare_sensitiv("abc", 3));
  EXPECT_TRUE(str("abc").compare_sensitiv("abc", 3));
  EXPECT_TRUE(str() == "");
  EXPECT_TRUE(str() == str());
  EXPECT_FALSE(str() == "a");
  EXPECT_FALSE(str("a") == str());
  EXPECT_TRUE(str("ab") != "abc");
  EXPECT_FALSE(str("AbC") != "aBc");

  EXPECT_TRUE(str("apple") < str("Banana"));
  EXPECT_FALSE(str("banana") < str("APPLE"));
  EXPECT_TRUE(str("ab") < str("ABC")) << "equal common part: the shorter is smaller";
  EXPECT_FALSE(str("abc") < str("ABC"));
  EXPECT_TRUE(str("\xe9") < str("A")) << "bytes above 127 sort before ASCII";
  EXPECT_TRUE(str("a") < str("[")) << "lower-case letters compare as upper case";
}

TEST(StrCompare, SensitiveEqualityCountsCaseInequalityAndGreaterDoNot) {
  EXPECT_TRUE(str("abc").is_equal_sensitiv("abc"));
  EXPECT_FALSE(str("ABC").is_equal_sensitiv(str("abc")));
  EXPECT_FALSE(str("abc").is_equal_sensitiv("ab"));
  EXPECT_TRUE(str().is_equal_sensitiv(str("")));
  EXPECT_FALSE(str().is_equal_sensitiv(str("a")));
  EXPECT_FALSE(str("ABC") != str("abc"));
  EXPECT_TRUE(str("abc") != str("ab"));
  EXPECT_TRUE(str("a") != str());
  EXPECT_FALSE(str() != str(""));
  EXPECT_TRUE(str("abc") > str("AB"));
  EXPECT_FALSE(str("abc") > str("ABC"));
}

TEST(StrNumber, IsNumberAcceptsSignedDigitsWithBlanksAround) {
  for (const char* yes : {"12", " -7\t", "0", "\t 123  ", "-0", "-", " - "}) {
    EXPECT_TRUE(str(yes).is_number()) << '"' << yes << '"';
  }
  for (const char* no :
       {"", " \t", "- 7", "1 2", "5-", "--5", "+5", "1.5", "12\r\n", "x1", "1x"}) {
    EXPECT_FALSE(str(no).is_number()) << '"' << no << '"';
  }
  EXPECT_FALSE(str("1\0", 2).is_number());
  EXPECT_TRUE(str("a 42 b").substr(1, 4).is_number());
}

}  // namespace
