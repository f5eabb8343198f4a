// The image's words are big-endian whatever the machine: a header built byte
// by byte reads the same on the little-endian host and on the phone.
#include "app/update.h"

#include <gtest/gtest.h>

#include <string>

namespace {

str bytes(const std::string& s) {
  return str(s.data(), static_cast<int>(s.size()));
}

TEST(ImageHeader, WordsAreReadBigEndianOnEveryMachine) {
  std::string header = {'\x01', '\x02', '\x03', '\x04', '\x00', '\x0F', '\x42', '\x40',
                        '\x00', '\x00', '\x00', '\xFD', '\xAA', '\xBB', '\xCC', '\xDD'};
  str h = bytes(header);
  EXPECT_EQ(image_word(h, 0), 0x01020304u);
  EXPECT_EQ(image_word(h, 4), 1000000u);
  EXPECT_EQ(image_word(h, 8), 253u);
  EXPECT_EQ(image_word(h, 14), 0xCCDD0000u) << "bytes past the end read as zero";
  EXPECT_EQ(image_word(bytes("\xFF\xFE\xFD\xFC"), 0), 0xFFFEFDFCu) << "bytes are unsigned";
}

TEST(ImageHeader, TheSumCoversWholeWordsOfTheAnnouncedLengthAndWraps) {
  str payload = bytes(std::string("\x00\x00\x00\x01\xFF\xFF\xFF\xFF\x00\x00\x01\x00\x7F", 13));
  EXPECT_EQ(image_sum(payload, 13), 0x100u)
      << "1 + 0xFFFFFFFF wraps to 0, then + 0x100; the odd byte is left out";
  EXPECT_EQ(image_sum(payload, 11), 0u) << "a length of 11 sums two words";
  EXPECT_EQ(image_sum(payload, 100), 0x100u) << "no further than the payload";
  EXPECT_EQ(image_sum(payload, 0), 0u);
  EXPECT_EQ(image_sum(bytes(std::string(4096, '\0')), 4096), 0u) << "an all-zero payload sums to 0";
  EXPECT_EQ(image_sum(bytes("\x12\x34\x56\x78"), 4), 0x12345678u);
}

}  // namespace
