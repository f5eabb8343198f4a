// ruk-image's command line, in-process and as a program: its whole output,
// what it refuses, and its exit status.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/image.h"
#include "tools/image_cli.h"
#include "tools/random_payload_test.h"

namespace {

using bytes = std::vector<uint8_t>;

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

  bytes erased_head(100, 0xFF);
  erased_head[16] = 0;
  write("erased.bin", erased_head);
  EXPECT_EQ(run({"create", path("erased.bin"), "-o", path("x.bin")}), 2);
  EXPECT_EQ(err, "ruk-image: " + path("erased.bin") +
                     " begins with 16 bytes of 0xFF; the phone refuses such an image (Wrong "
                     "Image): once written it reads as a partition whose update was cut short\n");

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
