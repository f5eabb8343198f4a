// The update itself: download, check and flash writing of the image
// "tolv510.bin" (app/image_format.h), with the screens of every step.
#pragma once

#include <stdint.h>

#include "app/mtd_requests.h"
#include "lib/str.h"

// Gives eth0 the addresses (dotted quads), fetches the image from server
// (at most what /dev/mtd5 can take: a larger file is refused as it arrives),
// checks it completely (size, magic, announced length against what arrived
// and against /dev/mtd5, a head that does not read as erased flash,
// checksum; both flash devices open and answer their geometry request)
// before anything is erased, then erases mtd5's first erase block, /dev/mtd4
// and the rest of /dev/mtd5, writes the payload but its 16-byte head, reads
// that back, and last writes and reads back the head, each step closed (and
// so synced) before the next. True only for an image written and verified.
// Every failure shows its screen, waits for a key and returns false; a
// failure before the first erase leaves both partitions as they were and
// ends in "Canceled ...", unless the software was already not intact; one
// after it says that the software is not intact.
bool tftp_store_image(const str& address, const str& server, const str& gateway,
                      const str& netmask);

// Set when an update begins to erase the application partitions, or at
// start-up when the last update did not finish (update_interrupted); cleared
// when an image has been written and verified: while set, the phone has no
// intact software to start, and the program must not end.
extern bool bFlashErased;

// Whether /dev/mtd5's first 16 bytes read as erased flash: an update erased
// the partition and was cut off before it wrote them, which it does last.
// False when the partition cannot be opened or read.
bool update_interrupted();

// The screen of a phone without intact software: an update is needed. Waits
// for a press (wait_for_press).
void not_intact_screen();

// Whether the payload's words sum to checksum over the first length bytes
// (whole words only); on a mismatch shows the CRC error screen, waits for a
// key and returns false.
bool CheckCRC(const str& payload, unsigned long length, unsigned long checksum);

// The image's words, read byte by byte so that the simulated build on a
// little-endian host checks exactly the images the phone checks.
// The 32-bit big-endian word at byte offset of bytes; bytes past the end
// read as 0.
uint32_t image_word(const str& bytes, int offset);
// The sum, modulo 2^32, of the first min(payload length, length) / 4 words of
// payload; 1 to 3 trailing bytes are not summed.
uint32_t image_sum(const str& payload, unsigned long length);

// Erases the MTD device open on fd: from byte start, count erase blocks, or
// the whole device in one request when count is negative. Returns the
// geometry request's result when that fails, -1 when an erase fails (the
// erasing stops there), else 0. The fourth parameter is not used.
int inca_erase_flash(int fd, int start, int count, bool);

// Writes bytes [from, length) of payload to fd from its current offset, in
// writes that end where the payload's image_write_chunk-byte chunks end,
// showing "Update: N%" progress on row 1 of theDisplay. False as soon as a
// write does not take its whole chunk. Requires length <= payload length.
bool flash_write_image(int fd, const str& payload, unsigned long from, unsigned long length);

// Reads bytes [from, length) back from the same offsets of fd and compares
// them with payload's. 1 when they match, 0 when they differ, -1 when
// reading fails.
int flash_verify_image(int fd, const str& payload, unsigned long from, unsigned long length);
