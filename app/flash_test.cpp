// Erasing and reading back the partitions through the simulator's MTD model.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "app/update.h"
#include "sim/seam/fresh_phone.h"
#include "sim/seam/mtd_model.h"
#include "tests/temp_dir.h"

namespace {

constexpr sim::mtd::geometry geometry = {16384, 4096};

class Flash : public testing::Test {
 protected:
  void SetUp() override {
    sim::fresh_phone();
    sim::mtd::serve(5, dir.path(), geometry);
    fd = open(mtd5_path, O_RDWR);
    ASSERT_GE(fd, 0);
    before = contents();
  }
  void TearDown() override {
    close(fd);
    sim::mtd::clear_faults();
  }
  std::vector<uint8_t> contents() { return ruk_test::read_bytes(dir / "mtd5"); }
  // Whether bytes [from, to) are erased and all others as before.
  ::testing::AssertionResult erased_only(size_t from, size_t to) {
    std::vector<uint8_t> now = contents();
    for (size_t i = 0; i < now.size(); ++i) {
      uint8_t expected = i >= from && i < to ? 0xFF : before[i];
      if (now[i] != expected) return ::testing::AssertionFailure() << "byte " << i;
    }
    return ::testing::AssertionSuccess();
  }
  ruk_test::temp_dir dir{"ruk-flash-test"};
  int fd = -1;
  std::vector<uint8_t> before;
};

TEST_F(Flash, ACountOfMinusOneErasesTheWholeDeviceAndACountErasesThatManyBlocks) {
  EXPECT_EQ(inca_erase_flash(fd, 4096, 2, false), 0);
  EXPECT_TRUE(erased_only(4096, 12288));
  EXPECT_EQ(inca_erase_flash(fd, 0, -1, false), 0);
  EXPECT_TRUE(erased_only(0, 16384));
}

TEST_F(Flash, AFailedGeometryRequestOrEraseIsReported) {
  sim::mtd::inject({5, sim::mtd::fault_kind::info, 0});
  EXPECT_EQ(inca_erase_flash(fd, 0, -1, false), -1);
  EXPECT_TRUE(erased_only(0, 0));
  sim::mtd::clear_faults();
  sim::mtd::inject({5, sim::mtd::fault_kind::erase, 8192});
  EXPECT_EQ(inca_erase_flash(fd, 0, 4, false), -1);
  EXPECT_TRUE(erased_only(0, 8192)) << "erasing stops at the failing block";
  sim::mtd::clear_faults();
  EXPECT_EQ(inca_erase_flash(fd, 100, 1, false), -1) << "an unaligned start is refused";
  EXPECT_TRUE(erased_only(0, 8192));
}

TEST_F(Flash, VerifyingTellsAMatchADifferenceAndAFailedRead) {
  ASSERT_EQ(inca_erase_flash(fd, 0, -1, false), 0);
  std::string image(10000, 'x');
  image[9999] = 'y';
  ASSERT_EQ(write(fd, image.data(), image.size()), 10000);
  str payload(image.data(), 10000);
  EXPECT_EQ(flash_verify_image(fd, payload, 0, 10000), 1);
  EXPECT_EQ(flash_verify_image(fd, payload, 0, 9000), 1);
  std::string other = image;
  other[9999] = 'z';
  EXPECT_EQ(flash_verify_image(fd, str(other.data(), 10000), 0, 10000), 0)
      << "the last byte differs";
  EXPECT_EQ(flash_verify_image(fd, str(other.data(), 10000), 16, 9999), 1)
      << "only bytes from 16 up to the length are compared";
  other[3] = 'z';
  EXPECT_EQ(flash_verify_image(fd, str(other.data(), 10000), 16, 9999), 1);
  EXPECT_EQ(flash_verify_image(fd, str(other.data(), 10000), 3, 9999), 0);
  EXPECT_EQ(flash_verify_image(fd, str(image.data(), 10000), 0, 0), 1);
  EXPECT_EQ(flash_verify_image(-1, payload, 0, 10000), -1);
}

}  // namespace
