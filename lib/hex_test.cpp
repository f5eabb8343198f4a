#include <gtest/gtest.h>

#include <string>

#include "lib/utils.h"
#include "tests/str_text.h"

namespace {

TEST(Hex, Hex2BinReadsPairsOfDigitsInEitherCase) {
  EXPECT_EQ(text(utils::hex2bin("4a4B")), "\x4a\x4b");
  EXPECT_EQ(text(utils::hex2bin("00fF7e")), std::string("\x00\xff\x7e", 3));
  EXPECT_EQ(text(utils::hex2bin("4a4")), "\x4a") << "a lone last digit adds nothing";
  EXPECT_EQ(utils::hex2bin("4").ref, nullptr);
  EXPECT_EQ(utils::hex2bin("").ref, nullptr);
  EXPECT_EQ(utils::hex2bin(str()).ref, nullptr);
}

TEST(Hex, Hex2BinRejectsTheWholeTextForOneNonDigit) {
  for (const char* bad : {"4g", "g4", "4a4B x", "4a 4b", "0x4a", "4a4g", "4ag"}) {
    EXPECT_EQ(utils::hex2bin(bad).length(), 0) << bad;
  }
}

TEST(Hex, Hex2BinStopsAtAZeroByteAndAtTheEndOfAView) {
  EXPECT_EQ(text(utils::hex2bin(str("4a\0zz", 5))), "\x4a");
  EXPECT_EQ(text(utils::hex2bin(str("zz0102zz").substr(2, 4))), "\x01\x02");
}

TEST(Hex, Bin2HexWritesTwoUpperCaseDigitsPerByte) {
  EXPECT_EQ(text(utils::bin2hex(str("\x00\xaf", 2))), "00AF");
  EXPECT_EQ(utils::bin2hex(str()).ref, nullptr);
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  str binary(all.data(), 256);
  str hex = utils::bin2hex(binary);
  EXPECT_EQ(hex.length(), 512);
  EXPECT_EQ(text(hex.substr(0, 8)), "00010203");
  EXPECT_EQ(text(hex.substr(504, 8)), "FCFDFEFF");
  EXPECT_EQ(text(utils::hex2bin(hex)), all);
}

}  // namespace
