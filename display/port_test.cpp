// The port functions: one request each, the record filled as the driver
// reads it, and a read's level or its failure.
#include "display/port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "display/fake_port_test.h"

namespace {

using display_fakes::attached;
using display_fakes::port_device;

TEST(PortFunctions, EachIsOneRequestWithPortPinAndValue) {
  attached<port_device> bus("/dev/test-port");
  int fd = open("/dev/test-port", O_RDONLY);
  ASSERT_GE(fd, 0);
  bus.device->read_levels[{2, 11}] = 1;
  EXPECT_EQ(port_open_drain(fd, 2, 0, 1), 0);
  EXPECT_EQ(port_dir(fd, 1, 17, 1), 0);
  EXPECT_EQ(port_write(fd, 1, 17, 0), 0);
  EXPECT_EQ(port_read(fd, 2, 11), 1);
  EXPECT_EQ(port_read(fd, 2, 10), 0);
  const auto& calls = bus.device->calls;
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[0].request, 0x800CBF00UL);
  EXPECT_EQ(calls[1].request, 0x800CBF04UL);
  EXPECT_EQ(calls[2].request, 0x800CBF05UL);
  EXPECT_EQ(calls[3].request, 0xC00CBF06UL);
  EXPECT_EQ(calls[0].port, 2);
  EXPECT_EQ(calls[0].pin, 0);
  EXPECT_EQ(calls[0].value, 1);
  EXPECT_EQ(calls[2].port, 1);
  EXPECT_EQ(calls[2].pin, 17);
  EXPECT_EQ(calls[2].value, 0);
  EXPECT_EQ(calls[4].pin, 10);
  close(fd);
}

TEST(PortFunctions, AFailedReadIsMinusOneNotALevel) {
  attached<port_device> bus("/dev/test-port");
  int fd = open("/dev/test-port", O_RDONLY);
  ASSERT_GE(fd, 0);
  bus.device->reads_fail = true;
  bus.device->read_levels[{2, 11}] = 1;
  EXPECT_EQ(port_read(fd, 2, 11), -1);
  close(fd);
  EXPECT_EQ(port_read(-1, 2, 11), -1) << "no device at all";
  EXPECT_EQ(port_write(-1, 1, 13, 1), -1);
}

}  // namespace
