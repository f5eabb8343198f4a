// The seam itself: simulated paths and descriptors reach their models, and
// select waits over simulated and real descriptors on the simulated clock.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/select.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <memory>

#include "sim/seam/clock.h"
#include "sim/seam/fd_table.h"

namespace {

// A device whose input becomes ready at a set time.
class timed_device : public sim::file {
 public:
  int64_t ready_at = -1;
  int closes = 0;
  unsigned long last_request = 0;
  bool readable() override { return ready_at >= 0 && sim::clock::now_us() >= ready_at; }
  bool exceptional() override { return readable(); }
  int64_t wake_at_us() override { return ready_at; }
  ssize_t read(void* buffer, size_t n) override {
    if (n > 0) static_cast<char*>(buffer)[0] = 'k';
    return n > 0 ? 1 : 0;
  }
  int ioctl(unsigned long request, void*) override {
    last_request = request;
    return 0;
  }
  void close() override { ++closes; }
};

class Seam : public testing::Test {
 protected:
  void SetUp() override {
    device = std::make_shared<timed_device>();
    sim::attach_path("/dev/test-device", [this](int flags) -> std::shared_ptr<sim::file> {
      if (flags & O_WRONLY) {
        errno = EACCES;
        return nullptr;
      }
      return device;
    });
  }
  void TearDown() override {
    sim::detach_path("/dev/test-device");
    sim::clock::use_virtual(false);
  }
  std::shared_ptr<timed_device> device;
};

TEST_F(Seam, AnAttachedPathOpensTheModelAndOtherPathsTheRealFile) {
  int before = sim::open_count();
  int fd = open("/dev/test-device", O_RDONLY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(sim::open_count(), before + 1);
  char c = 0;
  EXPECT_EQ(read(fd, &c, 1), 1);
  EXPECT_EQ(c, 'k');
  EXPECT_EQ(ioctl(fd, 0x400C4701UL, &c), 0);
  EXPECT_EQ(device->last_request, 0x400C4701UL);
  EXPECT_EQ(close(fd), 0);
  EXPECT_EQ(device->closes, 1);
  EXPECT_EQ(sim::open_count(), before);

  EXPECT_EQ(open("/dev/test-device", O_WRONLY), -1) << "a model can refuse to open";
  EXPECT_EQ(errno, EACCES);

  int real = open("/dev/null", O_RDONLY);
  ASSERT_GE(real, 0);
  EXPECT_EQ(sim::lookup(real), nullptr);
  EXPECT_EQ(read(real, &c, 1), 0);
  close(real);
}

TEST_F(Seam, SelectWaitsOnTheVirtualClockForAScriptedEvent) {
  sim::clock::use_virtual(true);
  int fd = open("/dev/test-device", O_RDONLY);
  int64_t start = sim::clock::now_us();
  device->ready_at = start + 1500000;

  fd_set e;
  FD_ZERO(&e);
  FD_SET(fd, &e);
  timeval limit = {1, 0};
  EXPECT_EQ(select(fd + 1, nullptr, nullptr, &e, &limit), 0) << "not yet: times out";
  EXPECT_FALSE(FD_ISSET(fd, &e));
  EXPECT_EQ(sim::clock::now_us() - start, 1000000);

  FD_SET(fd, &e);
  EXPECT_EQ(select(fd + 1, nullptr, nullptr, &e, nullptr), 1) << "no limit: waits for the event";
  EXPECT_TRUE(FD_ISSET(fd, &e));
  EXPECT_EQ(sim::clock::now_us() - start, 1500000);
  close(fd);
}

TEST_F(Seam, SelectCombinesSimulatedAndRealDescriptors) {
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_DGRAM, 0, pair), 0);
  int fd = open("/dev/test-device", O_RDONLY);
  ASSERT_EQ(write(pair[1], "x", 1), 1);

  fd_set r, e;
  FD_ZERO(&r);
  FD_ZERO(&e);
  FD_SET(pair[0], &r);
  FD_SET(fd, &e);
  int top = (fd > pair[0] ? fd : pair[0]) + 1;
  timeval limit = {5, 0};
  EXPECT_EQ(select(top, &r, nullptr, &e, &limit), 1);
  EXPECT_TRUE(FD_ISSET(pair[0], &r));
  EXPECT_FALSE(FD_ISSET(fd, &e));

  device->ready_at = 0;  // ready now
  char c;
  ASSERT_EQ(::read(pair[0], &c, 1), 1);
  FD_ZERO(&r);
  FD_SET(pair[0], &r);
  FD_SET(fd, &e);
  EXPECT_EQ(select(top, &r, nullptr, &e, &limit), 1);
  EXPECT_FALSE(FD_ISSET(pair[0], &r));
  EXPECT_TRUE(FD_ISSET(fd, &e));
  close(fd);
  close(pair[0]);
  close(pair[1]);
}

TEST(SimClock, SettingTheClockMovesOnlyTheModel) {
  int calls = sim::clock::set_calls();
  timeval old_date = {1009152000, 0};
  ASSERT_EQ(settimeofday(&old_date, nullptr), 0);
  timeval seen;
  gettimeofday(&seen, nullptr);
  EXPECT_GE(seen.tv_sec, 1009152000);
  EXPECT_LT(seen.tv_sec, 1009152000 + 60) << "the program sees its date";
  EXPECT_EQ(sim::clock::set_calls(), calls + 1);
  timespec host;
  clock_gettime(CLOCK_REALTIME, &host);  // not the program's call: the host's own clock
  EXPECT_GT(host.tv_sec, 1700000000) << "the host clock was never touched";
}

}  // namespace
