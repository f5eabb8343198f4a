// The port functions: one request each, with the record the driver reads.
#include "display/port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "display/fake_port_test.h"

namespace {

TEST(PortFunctions, EachIsOneRequestWithPortPinAndValueAndAReadGivesTheLevel) {
  display_fakes::attached<display_fakes::port_device> bus("/dev/test-port");
  int fd = open("/dev/test-port", O_RDONLY);
  ASSERT_GE(fd, 0);
  bus.device->read_levels[{2, 11}] = 1;
  EXPECT_EQ(port_open_drain(fd, 2, 0, 1), 0);
  EXPECT_EQ(port_dir(fd, 1, 17, 1), 0);
  EXPECT_EQ(port_write(fd, 1, 17, 0), 0);
  EXPECT_EQ(port_read(fd, 2, 11), 1);
  const unsigned long requests[] = {0x800CBF00UL, 0x800CBF04UL, 0x800CBF05UL, 0xC00CBF06UL};
  const int records[][3] = {{2, 0, 1}, {1, 17, 1}, {1, 17, 0}, {2, 11, 0}};
  ASSERT_EQ(bus.device->calls.size(), 4u);
  for (int i = 0; i < 4; ++i) {
    const auto& c = bus.device->calls[i];
    EXPECT_EQ(c.request, requests[i]);
    EXPECT_EQ((std::vector<int>{c.port, c.pin, c.value}),
              (std::vector<int>{records[i][0], records[i][1], records[i][2]}));
  }
  bus.device->reads_fail = true;
  EXPECT_EQ(port_read(fd, 2, 11), -1) << "a failed read is no level";
  close(fd);
}

}  // namespace
