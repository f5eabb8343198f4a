// The update image "tolv510.bin": a 16-byte header, then the payload that is
// written to /dev/mtd5 from its offset 0. The header's words are 32-bit
// unsigned big-endian on every machine.
#pragma once

constexpr int image_checksum_offset = 0;  // sum of the payload's words, mod 2^32
constexpr int image_length_offset = 4;    // payload bytes that are checked and written
constexpr int image_magic_offset = 8;     // must hold image_magic_value
// Bytes 12 to 15 are not read.
constexpr int image_header_size = 16;
constexpr unsigned long image_magic_value = 253;

// A smaller file is refused whatever its header says.
constexpr int image_min_file_size = 1024;
// The payload goes to flash in writes of this size (the last may be shorter).
constexpr int image_write_chunk = 8192;
