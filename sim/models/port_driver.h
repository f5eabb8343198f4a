// The phone's port driver as the LCD hangs on it: the driver's requests, its
// request record, and which port line carries which signal of the LCD
// controller's parallel bus.
#pragma once

#include <stdint.h>

#include "sim/models/phone_wire.h"

namespace sim {

// Request numbers of the port driver (type 0xBF, a 12-byte record).
namespace port_request {
constexpr unsigned long open_drain = PHONE_PORT_OPEN_DRAIN;
constexpr unsigned long direction = PHONE_PORT_DIRECTION;  // value 1 = output, 0 = input
constexpr unsigned long write = PHONE_PORT_WRITE;
constexpr unsigned long read = PHONE_PORT_READ;  // the driver fills in value
}  // namespace port_request

// The request record: three 32-bit integers in the machine's own byte order,
// as the driver defines it.
struct port_record {
  int32_t port;
  int32_t pin;
  int32_t value;
};
static_assert(sizeof(port_record) == PHONE_PORT_RECORD_SIZE, "the driver's record is 12 bytes");

// The SoC has ports 0..3 of 32 lines each.
constexpr int port_count = PHONE_PORT_COUNT;
constexpr int pins_per_port = PHONE_PINS_PER_PORT;

struct port_line {
  int port;
  int pin;
  constexpr bool operator==(const port_line& o) const { return port == o.port && pin == o.pin; }
};

// Data bits 0..7 of the bus.
constexpr port_line lcd_data[8] = {{2, 0}, {2, 6}, {2, 7}, {2, 8}, {2, 9}, {2, 3}, {2, 2}, {2, 1}};
constexpr port_line lcd_a0 = {1, 17};     // 0 = command or status, 1 = display data
constexpr port_line lcd_cs = {1, 16};     // chip select, active low
constexpr port_line lcd_wr = {1, 13};     // write strobe, active low
constexpr port_line lcd_rd = {1, 15};     // read strobe, active low
constexpr port_line lcd_reset = {1, 12};  // controller reset, active low

}  // namespace sim
