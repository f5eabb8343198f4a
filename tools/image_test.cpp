// ruk-image: the header's bytes pinned, create -> check round trips at the
// sizes where padding starts and stops, every fault the phone's checks find
// with its whole message, and the program's command line and exit status.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "tools/image.h"
#include "tools/image_cli.h"

namespace {

using bytes = std::vector<uint8_t>;

bytes random_payload(size_t size, unsigned seed) {
  std::mt19937 generator(seed);
  bytes b(size);
  for (auto& x : b) x = static_cast<uint8_t>(generator());
  return b;
}

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

// The command line, run in-process in a folder of its own.
class ImageCli : public testing::Test {
 protected:
  void SetUp() override {
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/ruk-image-test-XXXXXX";
    ASSERT_NE(mkdtemp(&pattern[0]), nullptr);
    dir = pattern;
  }
  void TearDown() override {
    std::string command = "rm -rf '" + dir + "'";
    EXPECT_EQ(system(command.c_str()), 0);
  }
  std::string path(const std::string& name) { return dir + "/" + name; }
  void write(const std::string& name, const bytes& data) {
    std::ofstream f(path(name), std::ios::binary);
    f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  }
  bytes read(const std::string& name) {
    std::ifstream f(path(name), std::ios::binary);
    return bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  }
  int run(std::vector<std::string> args) {
    out.clear();
    err.clear();
    return ruk_image::run(args, &out, &err);
  }

  std::string dir;
  std::string out;
  std::string err;
};

TEST_F(ImageCli, CreateThenCheckAShortPayload) {
  write("app.bin", {0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x20, 0x07});
  ASSERT_EQ(run({"create", path("app.bin"), "-o", path("tolv510.bin")}), 0) << err;
  EXPECT_EQ(err, "");
  EXPECT_EQ(out, path("tolv510.bin") +
                     ": 1024 bytes, checksum 0x00000120, length 9, magic 253\n"
                     "note: 999 bytes of 0xFF after the payload make up the phone's minimum of "
                     "1024 bytes; they are neither checked nor written\n"
                     "note: the payload's last byte is written but not summed: the checksum "
                     "covers whole words only\n");
  EXPECT_EQ(read("tolv510.bin").size(), 1024u);

  ASSERT_EQ(run({"check", path("tolv510.bin"), "--flash-size=8M"}), 0) << err;
  EXPECT_EQ(err, "");
  EXPECT_EQ(out, "file       " + path("tolv510.bin") +
                     ", 1024 bytes\n"
                     "checksum   0x00000120 (the payload sums to 0x00000120)\n"
                     "length     9 (the file holds 1008 bytes after the header)\n"
                     "magic      253\n"
                     "unused     00 00 00 00 (not read)\n"
                     "partition  8388608 bytes\n"
                     "note: 999 bytes after the payload are neither checked nor written\n"
                     "note: the payload's last byte is written but not summed: the checksum "
                     "covers whole words only\n" +
                     path("tolv510.bin") + ": good: the phone writes 9 bytes to /dev/mtd5\n");
}

TEST_F(ImageCli, CheckReportsEveryFaultOnStandardError) {
  bytes image = ruk_image::build(random_payload(4000, 3));
  image[11] = 0xFC;
  image[100] ^= 0x80;
  write("bad.bin", image);
  uint32_t sum = ruk_image::get_be32(&image[0]);
  uint32_t now = ruk_image::payload_sum(&image[16], 4000, 4000);
  char sums[64];
  snprintf(sums, sizeof sums, "0x%08X, the payload sums to 0x%08X", sum, now);
  EXPECT_EQ(run({"check", path("bad.bin")}), 1);
  EXPECT_EQ(out.substr(out.find("magic")), "magic      252\nunused     00 00 00 00 (not read)\n");
  std::string name = "ruk-image: " + path("bad.bin");
  EXPECT_EQ(err, name + ": Wrong Image: the magic is 252 (0x000000FC), the phone takes only 253\n" +
                     name + ": CRC error: the header's checksum is " + sums + "\n" + name +
                     ": 2 faults; the phone shows the first: Wrong Image\n");
}

TEST_F(ImageCli, CreateRefusesWhatWouldMakeABadImageOrLoseAFile) {
  write("empty.bin", {});
  EXPECT_EQ(run({"create", path("empty.bin"), "-o", path("x.bin")}), 2);
  EXPECT_EQ(err, "ruk-image: " + path("empty.bin") +
                     " is empty; the phone refuses an image without payload (Wrong Size!)\n");

  write("big.bin", bytes(5000, 1));
  EXPECT_EQ(run({"create", path("big.bin"), "-o", path("x.bin"), "--flash-size", "4K"}), 2);
  EXPECT_EQ(err, "ruk-image: " + path("big.bin") +
                     " has 5000 bytes, more than the partition of 4096 bytes\n");

  EXPECT_EQ(run({"create", path("big.bin"), "-o", path("big.bin")}), 2);
  EXPECT_EQ(err, "ruk-image: the output " + path("big.bin") +
                     " is the payload itself; name another file\n");
  EXPECT_EQ(read("big.bin"), bytes(5000, 1));

  EXPECT_EQ(run({"create", path("missing.bin"), "-o", path("x.bin")}), 2);
  EXPECT_EQ(err, "ruk-image: cannot open " + path("missing.bin") + ": No such file or directory\n");

  EXPECT_EQ(run({"create", path("big.bin"), "-o", path("no/such/dir/x.bin")}), 2);
  EXPECT_EQ(err, "ruk-image: cannot write " + path("no/such/dir/x.bin") +
                     ": No such file or directory\n");

  EXPECT_EQ(run({"check", dir}), 2);
  EXPECT_EQ(err, "ruk-image: cannot read " + dir + ": Is a directory\n");
  EXPECT_EQ(out, "");
}

TEST_F(ImageCli, CreateReplacesAnExistingImageWhole) {
  write("old.bin", bytes(300000, 0x5A));
  write("p.bin", bytes(2000, 0));
  ASSERT_EQ(run({"create", "--output=" + path("old.bin"), path("p.bin")}), 0) << err;
  bytes image = read("old.bin");
  EXPECT_EQ(image.size(), 2016u);
  EXPECT_EQ(run({"check", path("old.bin")}), 0);
}

TEST_F(ImageCli, UsageErrorsNameTheProblem) {
  const std::string synopsis =
      "usage: ruk-image create PAYLOAD -o IMAGE [--flash-size N]\n"
      "       ruk-image check IMAGE [--flash-size N]\n";
  struct {
    std::vector<std::string> args;
    std::string error;
  } cases[] = {
      {{}, "no command; say create or check"},
      {{"make", "x"}, "unknown command 'make'; say create or check"},
      {{"create", "p.bin"},
       "create: no output file; give -o IMAGE (the phone fetches tolv510.bin)"},
      {{"create", "-o", "x.bin"}, "create: no payload file given"},
      {{"create", "p.bin", "-o"}, "-o needs a value"},
      {{"create", "p.bin", "-o", ""}, "the output file name is empty"},
      {{"check", "a.bin", "b.bin"}, "check: one image file only, not also 'b.bin'"},
      {{"check", "a.bin", "-o", "b.bin"}, "check: -o is for create; check writes nothing"},
      {{"check", "a.bin", "--flash-size", "8G"},
       "--flash-size '8G' is not a size from 1 byte to 4G"},
      {{"check", "--verbose", "a.bin"}, "unknown option --verbose"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(run(c.args), 2);
    EXPECT_EQ(err, "ruk-image: " + c.error + "\n" + synopsis);
    EXPECT_EQ(out, "");
  }
  EXPECT_EQ(run({"--help"}), 0);
  EXPECT_EQ(out.substr(0, synopsis.size()), synopsis);
  EXPECT_EQ(err, "");
}

#ifdef RUK_IMAGE_PROGRAM
// The program itself: its exit status and which stream says what.
TEST_F(ImageCli, ProgramExitStatusAndStreams) {
  write("p.bin", random_payload(3000, 11));
  auto shell = [&](const std::string& command) {
    int status = system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  std::string program = RUK_IMAGE_PROGRAM;
  std::string image = path("tolv510.bin");
  EXPECT_EQ(shell(program + " create " + path("p.bin") + " -o " + image + " >/dev/null"), 0);
  EXPECT_EQ(shell(program + " check " + image + " >" + path("out") + " 2>" + path("err")), 0);
  EXPECT_EQ(read("err").size(), 0u);
  bytes spoilt = read("tolv510.bin");
  spoilt[8] = 1;
  write("tolv510.bin", spoilt);
  EXPECT_EQ(shell(program + " check " + image + " >" + path("out") + " 2>" + path("err")), 1);
  bytes err_text = read("err");
  EXPECT_EQ(std::string(err_text.begin(), err_text.end()),
            "ruk-image: " + image +
                ": Wrong Image: the magic is 16777469 (0x010000FD), the phone takes only 253\n");
  EXPECT_EQ(shell(program + " check 2>/dev/null"), 2);
}
#endif

}  // namespace
