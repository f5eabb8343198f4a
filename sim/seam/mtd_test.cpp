// The MTD flash model behaves as the phone's NOR partitions do, its injected
// faults fail where they are told to, and a power cut leaves what a chip
// leaves.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <mtd/mtd-abi.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "sim/models/transcript_format.h"
#include "sim/seam/child_test.h"
#include "sim/seam/clock.h"
#include "sim/seam/fresh_phone.h"
#include "sim/seam/mtd_model.h"
#include "sim/seam/power_cut.h"
#include "sim/seam/transcript.h"

namespace {

constexpr unsigned long memgetinfo = 0x40204D01UL;
constexpr unsigned long memerase = 0x80084D02UL;
constexpr sim::mtd::geometry small = {8192, 1024};

std::vector<uint8_t> contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class Flash : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/ruk-mtd-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    sim::fresh_phone();
    sim::mtd::serve(5, dir, small);
  }
  void TearDown() override {
    sim::mtd::clear_faults();
    sim::mtd::serve(4, "/nonexistent", small);
    sim::mtd::serve(5, "/nonexistent", small);
    std::string cmd = "rm -rf " + dir;
    ASSERT_EQ(system(cmd.c_str()), 0);
  }
  std::vector<uint8_t> file5() { return contents(dir + "/mtd5"); }
  int open5(int flags = O_RDWR) { return open("/dev/mtd5", flags); }
  static int erase(int fd, uint32_t start, uint32_t length) {
    erase_info_user e = {start, length};
    return ioctl(fd, memerase, &e);
  }
  bool logged(const std::string& text) {
    std::vector<std::string> flash = sim::transcript_texts(transcript_format::kind::flash);
    return std::find(flash.begin(), flash.end(), text) != flash.end();
  }
  std::string dir;
};

TEST_F(Flash, ANewPartitionHoldsOldFirmwareAndReportsItsGeometry) {
  int fd = open5();
  ASSERT_GE(fd, 0);
  std::vector<uint8_t> before = file5();
  ASSERT_EQ(before.size(), 8192u);
  EXPECT_EQ(before[100], sim::mtd::old_firmware_byte(100));
  size_t erased = 0, zero = 0;
  for (uint8_t b : before) erased += b == 0xFF, zero += b == 0;
  EXPECT_EQ(erased, 0u) << "an erase must show";
  EXPECT_LT(zero, before.size() / 8) << "a write must show";

  unsigned char record[32];
  memset(record, 0xAA, sizeof record);
  ASSERT_EQ(ioctl(fd, memgetinfo, record), 0);
  mtd_info_user info;
  memcpy(&info, record, sizeof info);
  EXPECT_EQ(info.type, MTD_NORFLASH);
  EXPECT_EQ(info.size, 8192u);
  EXPECT_EQ(info.erasesize, 1024u);
  EXPECT_EQ(info.padding, 0u) << "the whole record is filled";
  EXPECT_EQ(ioctl(fd, 0x80204D01UL, record), -1) << "only the phone's request code";
  EXPECT_EQ(errno, ENOTTY);
  EXPECT_EQ(close(fd), 0);
  EXPECT_TRUE(logged("open mtd5"));
  EXPECT_TRUE(logged("info mtd5 size 8192 erasesize 1024"));
  EXPECT_TRUE(logged("close mtd5"));
}

TEST_F(Flash, EraseTakesWholeBlocksOnlyAndLeavesThemAllOnes) {
  int fd = open5();
  std::vector<uint8_t> before = file5();
  for (auto bad : {std::pair<uint32_t, uint32_t>{512, 1024}, {0, 1000}, {0, 0}, {7168, 2048}}) {
    EXPECT_EQ(erase(fd, bad.first, bad.second), -1) << bad.first << "+" << bad.second;
    EXPECT_EQ(errno, EINVAL);
  }
  EXPECT_EQ(file5(), before) << "a refused erase changes nothing";
  EXPECT_TRUE(logged("erase mtd5 512+1024 failed: not whole erase blocks inside the partition"));

  ASSERT_EQ(erase(fd, 1024, 2048), 0);
  std::vector<uint8_t> after = file5();
  for (size_t i = 0; i < after.size(); ++i) {
    bool inside = i >= 1024 && i < 3072;
    ASSERT_EQ(after[i], inside ? 0xFF : before[i]) << "byte " << i;
  }
  EXPECT_TRUE(logged("erase mtd5 1024+2048"));
  close(fd);
}

TEST_F(Flash, WritesCanOnlyClearBitsAndStopAtTheEnd) {
  int fd = open5();
  ASSERT_EQ(erase(fd, 0, 8192), 0);
  ASSERT_EQ(lseek(fd, 4, SEEK_SET), 4);
  const uint8_t first[] = {0x0F, 0xF0, 0x55};
  const uint8_t second[] = {0xF3, 0xFF, 0xAA};
  ASSERT_EQ(write(fd, first, 3), 3);
  ASSERT_EQ(lseek(fd, -3, SEEK_CUR), 4);
  ASSERT_EQ(write(fd, second, 3), 3);
  uint8_t back[5];
  ASSERT_EQ(lseek(fd, 3, SEEK_SET), 3);
  ASSERT_EQ(read(fd, back, 5), 5);
  const uint8_t expected[] = {0xFF, 0x03, 0xF0, 0x00, 0xFF};
  EXPECT_EQ(memcmp(back, expected, 5), 0);

  ASSERT_EQ(lseek(fd, -2, SEEK_END), 8190);
  EXPECT_EQ(write(fd, first, 3), 2) << "cut at the end of the partition";
  EXPECT_EQ(write(fd, first, 1), -1);
  EXPECT_EQ(errno, ENOSPC);
  EXPECT_EQ(read(fd, back, 1), 0);
  EXPECT_EQ(lseek(fd, 8193, SEEK_SET), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_TRUE(logged("write mtd5 4+3"));
  EXPECT_TRUE(logged("read mtd5 3+5"));
  close(fd);
}

TEST_F(Flash, AReadOnlyDescriptorNeitherErasesNorWrites) {
  int fd = open5(O_RDONLY);
  ASSERT_GE(fd, 0);
  std::vector<uint8_t> before = file5();
  EXPECT_EQ(erase(fd, 0, 1024), -1);
  EXPECT_EQ(errno, EBADF);
  EXPECT_EQ(write(fd, "x", 1), -1);
  EXPECT_EQ(errno, EBADF);
  EXPECT_EQ(file5(), before);
  close(fd);
}

TEST_F(Flash, InjectedFaultsFailAtTheirPlaceAfterDoingWhatCameBefore) {
  sim::mtd::inject({5, sim::mtd::fault_kind::open, 0});
  EXPECT_EQ(open5(), -1);
  EXPECT_EQ(errno, ENODEV);
  EXPECT_TRUE(logged("open mtd5 failed: injected"));
  sim::mtd::clear_faults();

  int fd = open5();
  std::vector<uint8_t> before = file5();
  sim::mtd::inject({5, sim::mtd::fault_kind::info, 0});
  sim::mtd::inject({5, sim::mtd::fault_kind::erase, 2500});
  sim::mtd::inject({5, sim::mtd::fault_kind::write, 4100});
  mtd_info_user info;
  EXPECT_EQ(ioctl(fd, memgetinfo, &info), -1);
  EXPECT_EQ(errno, EIO);

  EXPECT_EQ(erase(fd, 0, 8192), -1);
  EXPECT_EQ(errno, EIO);
  std::vector<uint8_t> after = file5();
  for (size_t i = 0; i < after.size(); ++i) {
    ASSERT_EQ(after[i], i < 2048 ? 0xFF : before[i]) << "blocks before the failing one are erased";
  }
  EXPECT_TRUE(logged("erase mtd5 0+8192 failed: injected at 2500"));
  EXPECT_EQ(erase(fd, 4096, 4096), 0) << "a range that does not reach the fault";

  std::vector<uint8_t> zeros(200, 0);
  ASSERT_EQ(lseek(fd, 4000, SEEK_SET), 4000);
  EXPECT_EQ(write(fd, zeros.data(), zeros.size()), -1);
  EXPECT_EQ(errno, EIO);
  after = file5();
  EXPECT_EQ(after[4099], 0) << "written up to the fault";
  EXPECT_EQ(after[4100], 0xFF) << "nothing from the fault on";
  EXPECT_TRUE(logged("write mtd5 4000+200 failed: injected at 4100"));
  close(fd);
}

TEST_F(Flash, AWornByteSurvivesErasesWithoutAnErrorSoOnlyReadingBackShowsIt) {
  int fd = open5();
  std::vector<uint8_t> before = file5();
  sim::mtd::inject({5, sim::mtd::fault_kind::worn, 1500});
  ASSERT_EQ(erase(fd, 0, 8192), 0);
  std::vector<uint8_t> after = file5();
  for (size_t i = 0; i < after.size(); ++i) {
    ASSERT_EQ(after[i], i == 1500 ? before[i] : 0xFF) << "byte " << i;
  }
  std::vector<uint8_t> ones(2000, 0xFF);
  ASSERT_EQ(write(fd, ones.data(), ones.size()), 2000);
  EXPECT_EQ(file5()[1500], before[1500]) << "a write cannot set its bits either";
  close(fd);
}

TEST_F(Flash, OnAnAmdStyleChipAWriteThatWouldSetBitsFailsWhereItWould) {
  sim::mtd::set_chip(sim::mtd::chip::amd);
  int fd = open5();
  ASSERT_EQ(erase(fd, 0, 1024), 0);
  const uint8_t first[] = {0x0F, 0x0F, 0x0F, 0x0F};
  ASSERT_EQ(write(fd, first, 4), 4) << "erased bytes take any value";
  const uint8_t second[] = {0x0F, 0x05, 0x1F, 0x00};
  ASSERT_EQ(lseek(fd, 0, SEEK_SET), 0);
  EXPECT_EQ(write(fd, second, 4), -1);
  EXPECT_EQ(errno, EIO);
  sim::mtd::set_chip(sim::mtd::chip::intel);
  std::vector<uint8_t> after = file5();
  EXPECT_EQ(after[1], 0x05) << "programmed up to the byte that needs a bit set";
  EXPECT_EQ(after[2], 0x0F) << "left from there on";
  EXPECT_EQ(after[3], 0x0F);
  EXPECT_TRUE(logged("write mtd5 0+4 failed: would set bits at 2 (AMD-style chip)"));
  close(fd);
}

TEST_F(Flash, WithNorTimingErasesWritesAndReadsTakeTheChipsTimeOnTheClock) {
  sim::mtd::serve(5, dir, {256 * 1024, 64 * 1024});
  sim::clock::use_virtual(true);
  int fd = open5();
  std::vector<uint8_t> chunk(8192, 0);
  int64_t start = sim::clock::now_us();
  ASSERT_EQ(erase(fd, 0, 256 * 1024), 0);
  ASSERT_EQ(write(fd, chunk.data(), chunk.size()), 8192);
  ASSERT_EQ(read(fd, chunk.data(), chunk.size()), 8192);
  EXPECT_EQ(sim::clock::now_us(), start) << "no time without the timing model";

  sim::mtd::set_timing(true);
  ASSERT_EQ(erase(fd, 0, 256 * 1024), 0);
  EXPECT_EQ(sim::clock::now_us() - start, 4 * 500000) << "four 64 KiB sectors";
  ASSERT_EQ(lseek(fd, 0, SEEK_SET), 0);
  ASSERT_EQ(write(fd, chunk.data(), chunk.size()), 8192);
  EXPECT_EQ(sim::clock::now_us() - start, 4 * 500000 + 128 * 240) << "128 write buffers";
  ASSERT_EQ(lseek(fd, 8192 + 16, SEEK_SET), 8192 + 16);
  ASSERT_EQ(write(fd, chunk.data(), 64), 64);
  EXPECT_EQ(sim::clock::now_us() - start, 4 * 500000 + 130 * 240)
      << "64 bytes off the buffers' alignment touch two";
  ASSERT_EQ(lseek(fd, 0, SEEK_SET), 0);
  ASSERT_EQ(read(fd, chunk.data(), chunk.size()), 8192);
  EXPECT_EQ(sim::clock::now_us() - start, 4 * 500000 + 130 * 240 + 169)
      << "1024 pages of 4 words: 90 ns for the first word of each, 25 ns for the others";
  sim::mtd::set_timing(false);
  sim::clock::use_virtual(false);
  close(fd);
}

// A power cut (sim/seam/power_cut.h) us from now into body, which runs in a
// forked child on the virtual clock with the chip's timing; descriptor 9
// leads to the returned text.
sim_test::ended cut_during(int64_t us, const std::function<void()>& body) {
  sim::clock::use_virtual(true);
  sim::mtd::set_timing(true);
  sim_test::ended e = sim_test::run_child(9, [&] {
    sim::arm_power_cut({"", 0, us});
    body();
  });
  sim::mtd::set_timing(false);
  sim::clock::use_virtual(false);
  return e;
}

TEST_F(Flash, ACutDuringAnEraseLeavesTheBlocksBeforeErasedAndTheRestAsTheyWere) {
  sim::mtd::serve(5, dir, {256 * 1024, 64 * 1024});
  int fd = open5();
  std::vector<uint8_t> before = file5();
  sim_test::ended e = cut_during(2 * 500000 + 250000, [&] {
    erase(fd, 0, 256 * 1024);
    ASSERT_EQ(write(9, "returned", 8), 8);
  });
  EXPECT_EQ(e.signal, SIGKILL);
  EXPECT_EQ(e.written, "") << "cut in the third block's erase";
  std::vector<uint8_t> after = file5();
  for (size_t i = 0; i < after.size(); ++i) {
    ASSERT_EQ(after[i], i < 128 * 1024 ? 0xFF : before[i]) << "byte " << i;
  }
  close(fd);
}

TEST_F(Flash, ACutDuringAWriteKeepsTheWriteBuffersProgrammedBeforeIt) {
  int fd = open5();
  ASSERT_EQ(erase(fd, 0, 8192), 0);
  std::vector<uint8_t> zeros(256, 0);
  sim_test::ended e = cut_during(2 * 240 + 100, [&] {
    lseek(fd, 16, SEEK_SET);
    write(fd, zeros.data(), zeros.size());
    ASSERT_EQ(write(9, "returned", 8), 8);
  });
  EXPECT_EQ(e.signal, SIGKILL);
  EXPECT_EQ(e.written, "");
  std::vector<uint8_t> after = file5();
  for (size_t i = 0; i < 300; ++i) {
    // Buffers [16, 64) and [64, 128) were programmed, [128, 192) was not.
    ASSERT_EQ(after[i], i >= 16 && i < 128 ? 0 : 0xFF) << "byte " << i;
  }
  close(fd);
}

TEST_F(Flash, APartitionFileOfAnotherSizeStopsTheRunWithAClearMessage) {
  {
    std::ofstream out(dir + "/mtd5", std::ios::binary);
    out << "short";
  }
  EXPECT_EXIT(
      open5(), testing::ExitedWithCode(transcript_format::status::setting_error),
      "RUK_SIM_MTD5_SIZE: .*/mtd5 holds 5 bytes, not 8192: remove the file or set the size it has");
}

TEST(FlashSettings, SizesAndFaultListsParseOrNameWhatIsWrong) {
  uint32_t n = 0;
  EXPECT_TRUE(sim::mtd::parse_size("8M", &n));
  EXPECT_EQ(n, 8u << 20);
  EXPECT_TRUE(sim::mtd::parse_size("0x10000", &n));
  EXPECT_EQ(n, 65536u);
  EXPECT_TRUE(sim::mtd::parse_size("64K", &n));
  EXPECT_EQ(n, 65536u);
  for (const char* bad : {"", "0", "-1", "12Q", "4096M", "x"}) {
    EXPECT_FALSE(sim::mtd::parse_size(bad, &n)) << bad;
  }

  std::vector<sim::mtd::fault> faults;
  std::string error;
  ASSERT_TRUE(sim::mtd::parse_faults(
      "mtd5:open,mtd4:erase@64K,,mtd5:write@8192,mtd4:info,mtd5:worn@7", &faults, &error));
  ASSERT_EQ(faults.size(), 5u);
  EXPECT_EQ(faults[4].kind, sim::mtd::fault_kind::worn);
  EXPECT_EQ(faults[4].offset, 7u);
  EXPECT_EQ(faults[1].partition, 4);
  EXPECT_EQ(faults[1].kind, sim::mtd::fault_kind::erase);
  EXPECT_EQ(faults[1].offset, 65536u);
  EXPECT_EQ(faults[2].offset, 8192u);
  EXPECT_EQ(faults[3].kind, sim::mtd::fault_kind::info);

  const std::pair<const char*, const char*> bad[] = {
      {"mtd6:open", "\"mtd6:open\": begins with neither mtd4: nor mtd5:"},
      {"mtd5:burn", "\"mtd5:burn\": the fault is none of open, info, erase, write, worn"},
      {"mtd5:open@4", "\"mtd5:open@4\": only erase, write and worn take an offset"},
      {"mtd5:write@x", "\"mtd5:write@x\": \"x\" is no byte offset"},
  };
  for (const auto& b : bad) {
    faults.clear();
    EXPECT_FALSE(sim::mtd::parse_faults(std::string("mtd4:open,") + b.first, &faults, &error));
    EXPECT_EQ(error, b.second);
    EXPECT_TRUE(faults.empty()) << "nothing is taken from a list with a fault";
  }
}

}  // namespace
