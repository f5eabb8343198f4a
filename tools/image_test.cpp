// The image format: the header's bytes pinned, build -> check round trips at
// the sizes where padding starts and stops, and every fault the phone's
// checks find, with its whole message.
#include <gtest/gtest.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "tools/image.h"
#include "tools/random_payload_test.h"

namespace {

using bytes = std::vector<uint8_t>;

std::vector<std::string> fault_words(const ruk_image::report& r) {
  std::vector<std::string> words;
  for (const auto& f : r.faults) words.push_back(f.phone_words + ": " + f.detail);
  return words;
}

TEST(ImageBytes, WordsAreBigEndianByteByByte) {
  uint8_t b[4];
  ruk_image::put_be32(b, 0x0102A3FD);
  EXPECT_EQ(b[0], 0x01);
  EXPECT_EQ(b[1], 0x02);
  EXPECT_EQ(b[2], 0xA3);
  EXPECT_EQ(b[3], 0xFD);
  EXPECT_EQ(ruk_image::get_be32(b), 0x0102A3FDu);
}

TEST(ImageBytes, HeaderOfAKnownPayload) {
  // Two words, 0x01020304 and 0xFFFFFFFF, and two bytes that the checksum
  // leaves out: 0x01020304 + 0xFFFFFFFF wraps to 0x01020303.
  bytes payload = {0x01, 0x02, 0x03, 0x04, 0xFF, 0xFF, 0xFF, 0xFF, 0x55, 0x66};
  bytes image = ruk_image::build(payload);
  bytes header(image.begin(), image.begin() + 16);
  EXPECT_EQ(header, (bytes{0x01, 0x02, 0x03, 0x03, 0x00, 0x00, 0x00, 0x0A, 0x00, 0x00, 0x00, 0xFD,
                           0x00, 0x00, 0x00, 0x00}));
  ASSERT_EQ(image.size(), 1024u);
  EXPECT_EQ(bytes(image.begin() + 16, image.begin() + 26), payload);
  EXPECT_EQ(bytes(image.begin() + 26, image.end()), bytes(998, 0xFF));
}

TEST(ImageBytes, SumTakesWholeWordsOfTheShorterOfFileAndLength) {
  bytes p = {0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 4, 9};
  EXPECT_EQ(ruk_image::payload_sum(p.data(), p.size(), 13), 7u);
  EXPECT_EQ(ruk_image::payload_sum(p.data(), p.size(), 11), 3u);  // the third word is partial
  EXPECT_EQ(ruk_image::payload_sum(p.data(), 8, 100), 3u);        // the file ends first
  EXPECT_EQ(ruk_image::payload_sum(p.data(), p.size(), 0), 0u);
  bytes zeros(4096, 0);
  EXPECT_EQ(ruk_image::payload_sum(zeros.data(), zeros.size(), 4096), 0u);
}

TEST(ImageRoundTrip, EveryBuiltImageChecksGoodAndPadsOnlyUpTo1024) {
  for (size_t size : {1, 3, 4, 1007, 1008, 1009, 8192, 100001}) {
    SCOPED_TRACE(size);
    bytes payload = random_payload(size, static_cast<unsigned>(size));
    bytes image = ruk_image::build(payload);
    EXPECT_EQ(image.size(), std::max<size_t>(1024, 16 + size));
    ruk_image::report r = ruk_image::check(image, 8 << 20);
    EXPECT_TRUE(r.faults.empty()) << ::testing::PrintToString(fault_words(r));
    EXPECT_EQ(r.fields.length, size);
    EXPECT_EQ(r.fields.magic, 253u);
    EXPECT_EQ(r.payload_in_file, image.size() - 16);
    EXPECT_EQ(bytes(image.begin() + 16, image.begin() + 16 + size), payload);
  }
}

// A good image of 2000 payload bytes, to be spoilt one way at a time.
class ImageFault : public testing::Test {
 protected:
  ImageFault() : image(ruk_image::build(random_payload(2000, 7))) {}
  std::vector<std::string> faults(uint64_t flash_size = 0) {
    return fault_words(ruk_image::check(image, flash_size));
  }
  void set_word(size_t offset, uint32_t value) { ruk_image::put_be32(&image[offset], value); }
  uint32_t word(size_t offset) { return ruk_image::get_be32(&image[offset]); }
  std::string hex(uint32_t v) {
    char t[16];
    snprintf(t, sizeof t, "0x%08X", v);
    return t;
  }
  bytes image;
};

TEST_F(ImageFault, EmptyFileIsWhatThePhoneCallsNoFile) {
  image.clear();
  EXPECT_EQ(faults(), std::vector<std::string>{
                          "No File or Server: the file is empty, and the phone cannot tell an "
                          "empty download from none"});
}

TEST_F(ImageFault, ShortFilesAreWrongSize) {
  image.resize(1023);
  set_word(4, 1000);
  set_word(0, ruk_image::payload_sum(&image[16], 1000, 1000));
  EXPECT_EQ(faults(), std::vector<std::string>{
                          "Wrong Size!: the file has 1023 bytes, the phone takes none under "
                          "1024 bytes"});
  image.resize(10);
  EXPECT_EQ(faults(), std::vector<std::string>{
                          "Wrong Size!: the file has 10 bytes, the phone takes none under 1024 "
                          "bytes, and it is too short for the 16-byte header"});
}

TEST_F(ImageFault, MagicOtherThan253IsWrongImage) {
  image[11] = 0xFE;
  EXPECT_EQ(faults(), std::vector<std::string>{
                          "Wrong Image: the magic is 254 (0x000000FE), the phone takes only 253"});
  image[11] = 0xFD;
  image[8] = 0x01;  // the high byte counts as well: the word is big-endian
  EXPECT_EQ(faults(), std::vector<std::string>{"Wrong Image: the magic is 16777469 (0x010000FD), "
                                               "the phone takes only 253"});
}

TEST_F(ImageFault, AnnouncedLengthMustBeThereAndNotZero) {
  set_word(4, 2001);
  EXPECT_EQ(faults(), std::vector<std::string>{
                          "Wrong Size!: the header announces 2001 bytes of payload, the file "
                          "holds 2000 bytes after the header"});
  set_word(4, 0);
  set_word(0, 0);
  EXPECT_EQ(faults(),
            std::vector<std::string>{"Wrong Size!: the header announces no payload (length 0)"});
}

TEST_F(ImageFault, APayloadWhoseHeadReadsErasedIsWrongImage) {
  std::fill(image.begin() + 16, image.begin() + 32, 0xFF);
  set_word(0, ruk_image::payload_sum(&image[16], 2000, 2000));
  EXPECT_EQ(faults(), std::vector<std::string>{
                          "Wrong Image: the payload begins with 16 bytes of 0xFF, which the phone "
                          "cannot tell from a partition whose update was cut short"});
  image[31] = 0xFE;  // one bit of the sixteenth byte is enough
  set_word(0, ruk_image::payload_sum(&image[16], 2000, 2000));
  EXPECT_TRUE(faults().empty());
}

TEST_F(ImageFault, AnyChangedPayloadOrChecksumByteIsACrcError) {
  uint32_t sum = word(0);
  image[16 + 1234] ^= 0x10;
  uint32_t changed = ruk_image::payload_sum(&image[16], 2000, 2000);
  EXPECT_EQ(faults(), std::vector<std::string>{"CRC error: the header's checksum is " + hex(sum) +
                                               ", the payload sums to " + hex(changed)});
  image[16 + 1234] ^= 0x10;
  image[3] ^= 0x01;
  EXPECT_EQ(faults(), std::vector<std::string>{"CRC error: the header's checksum is " +
                                               hex(sum ^ 1) + ", the payload sums to " + hex(sum)});
}

TEST_F(ImageFault, BytesAfterTheLengthAndBytes12To15AreNotChecked) {
  image.push_back(0x42);
  image[12] = 0xAB;
  image[16 + 1999] ^= 0xFF;  // a byte of the last word counts ...
  EXPECT_EQ(faults().size(), 1u);
  image[16 + 1999] ^= 0xFF;
  set_word(4, 1999);  // ... but not once that word is partial
  set_word(0, ruk_image::payload_sum(&image[16], 1999, 1996));
  image[16 + 1998] ^= 0xFF;
  image[16 + 1999] ^= 0xFF;
  EXPECT_TRUE(faults().empty()) << ::testing::PrintToString(faults());
}

TEST_F(ImageFault, PayloadLargerThanThePartition) {
  EXPECT_TRUE(faults(2000).empty());
  EXPECT_EQ(faults(1999), std::vector<std::string>{
                              "Wrong Size!: the payload of 2000 bytes does not fit the partition "
                              "of 1999 bytes"});
}

TEST_F(ImageFault, EveryFaultIsReportedInThePhonesOrder) {
  image.resize(1020);
  image[11] = 0;
  image[20] ^= 1;
  std::vector<std::string> f = faults(100);
  ASSERT_EQ(f.size(), 5u);
  EXPECT_EQ(f[0].substr(0, 12), "Wrong Size!:");
  EXPECT_EQ(f[1].substr(0, 12), "Wrong Image:");
  EXPECT_EQ(f[2],
            "Wrong Size!: the header announces 2000 bytes of payload, the file holds 1004 "
            "bytes after the header");
  EXPECT_EQ(f[3].substr(0, 10), "CRC error:");
  EXPECT_EQ(f[4].substr(0, 12), "Wrong Size!:");
}

TEST(ImageSize, Parse) {
  uint64_t n = 0;
  EXPECT_TRUE(ruk_image::parse_size("8M", &n));
  EXPECT_EQ(n, 8u << 20);
  EXPECT_TRUE(ruk_image::parse_size("0x10000", &n));
  EXPECT_EQ(n, 65536u);
  EXPECT_TRUE(ruk_image::parse_size("64k", &n));
  EXPECT_EQ(n, 65536u);
  EXPECT_TRUE(ruk_image::parse_size("4096M", &n));
  EXPECT_EQ(n, uint64_t{1} << 32);
  for (const char* bad : {"", "0", "K", "0x", "12a", "-1", "4097M", "0x100000001", "1G", " 1"}) {
    EXPECT_FALSE(ruk_image::parse_size(bad, &n)) << bad;
  }
}

}  // namespace
