// Which port lines the LCD controller's bus hangs on.
#pragma once

struct port_pin {
  int port;
  int pin;
};

// Data bits 0..7 of the controller's 8-bit bus, in bit order. Bits 0 and 7
// are switched to open drain when the port is set up.
constexpr port_pin lcd_data_pins[8] = {{2, 0}, {2, 6}, {2, 7}, {2, 8},
                                       {2, 9}, {2, 3}, {2, 2}, {2, 1}};

// Control lines; all idle high, all but A0 active low.
constexpr port_pin lcd_a0 = {1, 17};  // 0 command or status, 1 display data
constexpr port_pin lcd_chip_select = {1, 16};
constexpr port_pin lcd_write_strobe = {1, 13};  // the byte is taken on the rising edge
constexpr port_pin lcd_read_strobe = {1, 15};
constexpr port_pin lcd_reset = {1, 12};

// The switch input next to the panel: a line driven high, and the line read.
constexpr port_pin switch_drive = {2, 12};
constexpr port_pin switch_sense = {2, 11};
