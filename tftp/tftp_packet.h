// Building and reading TFTP packets, byte by byte.
#pragma once

#include "lib/str.h"

// Byte i of packet as an unsigned value; 0 beyond its end, so that a short
// packet reads as if padded with zero bytes.
unsigned tftp_byte(const str& packet, int i);
// The big-endian 16-bit number at bytes i and i + 1.
unsigned tftp_number(const str& packet, int i);
// The packet's kind: byte 1 alone (byte 0 is not looked at).
unsigned tftp_kind(const str& packet);

// The opcode and a 16-bit number (the block number, or an error code).
str tftp_header(unsigned opcode, unsigned number);
// RRQ or WRQ for file in octet mode.
str tftp_request(unsigned opcode, const str& file);
// ERROR with code and message.
str tftp_error_packet(unsigned code, const char* message);
