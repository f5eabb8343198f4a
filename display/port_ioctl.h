// The requests of the system-on-chip port driver ("/dev/inca-port") and of
// the LED device, as the phone's MIPS kernel numbers them: type in bits 8..15,
// argument size in bits 16..28, direction in bits 29..31 (4 = the driver reads
// the argument, 6 = it reads and writes it back).
#pragma once

#include <stddef.h>
#include <stdint.h>

// The argument of every port request. The driver reads it as three 32-bit
// integers in the machine's own byte order (big-endian on the phone), so the
// record is passed as it lies in memory rather than encoded byte by byte.
struct port_pin_request {
  int32_t port;   // port number
  int32_t pin;    // pin within the port
  int32_t value;  // direction (1 output, 0 input), level, open-drain (1 on),
                  // or, for a read, the level the driver fills in
};
static_assert(sizeof(port_pin_request) == 12 && offsetof(port_pin_request, pin) == 4 &&
                  offsetof(port_pin_request, value) == 8,
              "the port driver takes port, pin and value at offsets 0, 4 and 8");

// The program's own copy of the driver's numbers; the simulated and emulated
// port drivers take theirs from sim/models/phone_wire.h, written from the
// driver, so that a slip here fails a test (tests/wire_test.cpp) instead of
// agreeing with itself.
constexpr unsigned long port_request_open_drain = 0x800CBF00UL;
constexpr unsigned long port_request_dir = 0x800CBF04UL;
constexpr unsigned long port_request_write = 0x800CBF05UL;
constexpr unsigned long port_request_read = 0xC00CBF06UL;

// The LED device's requests (type 'T', size 4): the LED's bit mask travels as
// the argument value itself, not through a pointer.
constexpr unsigned long led_request_on = 0x80045401UL;
constexpr unsigned long led_request_off = 0x80045402UL;
