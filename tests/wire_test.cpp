// The program's copy of the drivers' numbers against the copy the simulated
// and emulated devices are built from (sim/models/phone_wire.h). Either may
// be the wrong one when they differ; neither may differ silently.
#include <gtest/gtest.h>
#include <string.h>

#include "app/keypad.h"
#include "display/port_ioctl.h"
#include "sim/models/phone_wire.h"

TEST(Wire, TheProgramAndTheDevicesNumberThePortRequestsAlike) {
  EXPECT_EQ(port_request_open_drain, PHONE_PORT_OPEN_DRAIN);
  EXPECT_EQ(port_request_dir, PHONE_PORT_DIRECTION);
  EXPECT_EQ(port_request_write, PHONE_PORT_WRITE);
  EXPECT_EQ(port_request_read, PHONE_PORT_READ);
  EXPECT_EQ(sizeof(port_pin_request), static_cast<size_t>(PHONE_PORT_RECORD_SIZE));
}

TEST(Wire, TheProgramAndTheDevicesReadTheKeypadAlike) {
  EXPECT_EQ(keypad_read_event, PHONE_KEYPAD_READ_EVENT);
  EXPECT_EQ(sizeof(key_event_t), static_cast<size_t>(PHONE_KEYPAD_RECORD_SIZE));
  EXPECT_EQ(key_map_size, static_cast<int>(strlen(PHONE_KEYPAD_LAYOUT)));
  EXPECT_STREQ(key_map, PHONE_KEYPAD_LAYOUT);
}
