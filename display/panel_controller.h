// The LCD controller: its commands, its pixel memory as the driver addresses
// it, and the times it needs on the bus.
#pragma once

// Pixel memory: 132 columns by 3 pages of 8 rows; the panel shows rows 0..16,
// so page 2 carries only its bit 0.
constexpr int lcd_columns = 132;
constexpr int lcd_rows = 17;
constexpr int lcd_pages = 3;

constexpr int lcd_set_page = 0xB0;         // | page (4 bits)
constexpr int lcd_set_column_low = 0x00;   // | column bits 0..3
constexpr int lcd_set_column_high = 0x10;  // | column bits 4..7
constexpr int lcd_set_volume = 0x81;       // the next command byte is the contrast, 0..63
constexpr int lcd_software_reset = 0xE2;
constexpr int lcd_status_busy = 0x80;

constexpr int lcd_contrast_max = 63;

// The set-up: the commands before lcd_set_volume and its contrast value,
// those after them, and last the display on (a full set-up clears the
// memory before it).
constexpr unsigned char lcd_setup_before_volume[] = {
    0xAE,  // display off
    0xA0,  // segment (column) order normal
    0xC0,  // common (row) scan direction normal
    0x23,  // internal regulator resistor ratio 3
};
constexpr unsigned char lcd_setup_after_volume[] = {
    0xA9, 0xC1,  // panel mode
    0xA3,        // LCD bias
    0x2F,        // power control: booster, regulator and follower on
};
constexpr unsigned char lcd_display_on = 0xAF;

// Bus timing. The write and read strobes are held low well above the
// controller's pulse width (a few hundred nanoseconds at the phone's supply
// voltage); the reset pulse and the pause after each set-up command leave the
// controller, and the power circuits it switches on, time to settle.
constexpr long lcd_strobe_low_ns = 1000;
constexpr long lcd_reset_low_us = 1000;
constexpr long lcd_command_settle_us = 1000;
// Status reads before the driver stops waiting for the busy flag to drop. A
// working controller is busy for microseconds; a missing or failing port
// device reads busy for ever, and the set-up must still end.
constexpr int lcd_ready_polls = 100;
