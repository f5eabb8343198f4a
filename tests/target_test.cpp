// What the program takes for granted about the machine it runs on: the
// phone is a 32-bit big-endian MIPS machine, its kernel's route record is 84
// bytes, and the device request numbers the program uses are that kernel's
// encodings. The checks that only hold on the phone skip, with the reason,
// on a development machine; the MIPS build under qemu runs them all, and the
// first checks make sure that such a run really is a MIPS run.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <net/route.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <string>

#include "sim/models/phone_wire.h"

namespace {

bool big_endian() {
  const uint32_t word = 0x01020304;
  unsigned char bytes[4];
  memcpy(bytes, &word, sizeof bytes);
  return bytes[0] == 0x01;
}

std::string machine() {
  utsname names{};
  EXPECT_EQ(0, uname(&names));
  return names.machine;
}

// The machine ctest was told the tests are built for, or empty when the
// program runs outside ctest.
std::string expected_machine() {
  const char* name = getenv("RUK_TARGET_MACHINE");
  return name ? name : "";
}

bool built_for_the_phone() { return expected_machine() == "mips"; }

// The phone's device request numbers: the devices' copy, which
// tests/wire_test.cpp holds equal to the program's.
constexpr unsigned long keypad_read_event = PHONE_KEYPAD_READ_EVENT;
constexpr unsigned long port_open_drain = PHONE_PORT_OPEN_DRAIN;
constexpr unsigned long port_dir = PHONE_PORT_DIRECTION;
constexpr unsigned long port_write = PHONE_PORT_WRITE;
constexpr unsigned long port_read = PHONE_PORT_READ;

}  // namespace

// A MIPS build that ran natively, or a host build that ran under the
// emulator, would make every other check here meaningless.
TEST(Target, RunsOnTheMachineItWasBuiltFor) {
  if (expected_machine().empty()) GTEST_SKIP() << "RUK_TARGET_MACHINE is not set (run outside ctest)";
  EXPECT_EQ(expected_machine(), machine());
}

// The program file's own header says which byte order and word size it was
// built for; the running code must agree, whatever runs it.
TEST(Target, ByteOrderAndWordSizeAreThoseOfTheProgramFile) {
  int fd = open("/proc/self/exe", O_RDONLY);
  ASSERT_GE(fd, 0);
  unsigned char ident[20] = {};
  ASSERT_EQ(static_cast<ssize_t>(sizeof ident), read(fd, ident, sizeof ident));
  close(fd);
  ASSERT_EQ(0, memcmp(ident, "\177ELF", 4));
  const int elf_class = ident[4];  // 1: 32-bit, 2: 64-bit
  const int elf_data = ident[5];   // 1: little-endian, 2: big-endian
  EXPECT_EQ(sizeof(void*) == 4 ? 1 : 2, elf_class);
  EXPECT_EQ(big_endian() ? 2 : 1, elf_data);
  if (built_for_the_phone()) {
    const int elf_machine = elf_data == 2 ? ident[18] << 8 | ident[19] : ident[19] << 8 | ident[18];
    EXPECT_EQ(8, elf_machine);  // EM_MIPS
  }
}

TEST(Target, ThePhoneIs32BitBigEndian) {
  if (!built_for_the_phone()) GTEST_SKIP() << "built for " << machine() << ", not for the phone's MIPS";
  EXPECT_TRUE(big_endian());
  EXPECT_EQ(4u, sizeof(long));
  EXPECT_EQ(4u, sizeof(void*));
  // A keypad record's state field, as the driver writes it: pressed is 1 in
  // the machine's own byte order.
  const unsigned char state_bytes[4] = {0, 0, 0, 1};
  int32_t state = 0;
  memcpy(&state, state_bytes, sizeof state);
  EXPECT_EQ(1, state);
  // Network byte order is the numeric order: an address needs no swapping.
  EXPECT_EQ(0x0A000001u, htonl(0x0A000001u));
}

TEST(Target, RouteRecordIs84Bytes) {
  if (sizeof(long) != 4)
    GTEST_SKIP() << "struct rtentry is " << sizeof(rtentry)
                 << " bytes with 64-bit longs; the 84-byte record is the 32-bit phone's";
  EXPECT_EQ(84u, sizeof(rtentry));
  EXPECT_EQ(4u, offsetof(rtentry, rt_dst));
  EXPECT_EQ(20u, offsetof(rtentry, rt_gateway));
  EXPECT_EQ(36u, offsetof(rtentry, rt_genmask));
  EXPECT_EQ(52u, offsetof(rtentry, rt_flags));
  EXPECT_EQ(64u, offsetof(rtentry, rt_metric));
  EXPECT_EQ(68u, offsetof(rtentry, rt_dev));
  EXPECT_EQ(76u, offsetof(rtentry, rt_window));
}

// The request numbers carry the direction and the size of the record they
// pass. Read on the phone's kernel, the keypad request fills a 12-byte
// record, the port requests hand one over and the port read does both.
TEST(Target, DeviceRequestNumbersAreThePhoneKernelsEncodings) {
  if (_IOC_WRITE != 4u)
    GTEST_SKIP() << "this kernel encodes a write request as " << _IOC_WRITE
                 << "; the phone's numbers are MIPS encodings (write = 4)";
  EXPECT_EQ(static_cast<unsigned>(_IOC_READ), _IOC_DIR(keypad_read_event));
  EXPECT_EQ('G', _IOC_TYPE(keypad_read_event));
  EXPECT_EQ(1u, _IOC_NR(keypad_read_event));
  EXPECT_EQ(12u, _IOC_SIZE(keypad_read_event));
  for (unsigned long request : {port_open_drain, port_dir, port_write}) {
    EXPECT_EQ(static_cast<unsigned>(_IOC_WRITE), _IOC_DIR(request)) << std::hex << request;
    EXPECT_EQ(0xBFu, _IOC_TYPE(request));
    EXPECT_EQ(12u, _IOC_SIZE(request));
  }
  EXPECT_EQ(static_cast<unsigned>(_IOC_READ | _IOC_WRITE), _IOC_DIR(port_read));
  EXPECT_EQ(12u, _IOC_SIZE(port_read));
  // The port record is three int32 in the machine's order.
  EXPECT_EQ(port_write, static_cast<unsigned long>(_IOW(0xBF, 5, int32_t[3])));
}
