// The update itself: download, check and flash writing of the image
// "tolv510.bin".
#pragma once

#include "lib/str.h"

// Gives eth0 the addresses (dotted quads), fetches the image from server,
// checks it completely (size, magic, announced length against what arrived
// and against /dev/mtd5, checksum; both flash devices open and answer their
// geometry request) before anything is erased, then erases /dev/mtd4 and
// /dev/mtd5, writes the payload to /dev/mtd5 with the percentage shown, and
// reads it back. True only for an image written and verified. Every failure
// shows its screen, waits for a key (wait_for_key) and returns false; a
// failure before the first erase leaves both partitions as they were.
bool tftp_store_image(const str& address, const str& server, const str& gateway,
                      const str& netmask);

// Whether the payload's words sum to checksum over the first length bytes
// (whole words only); on a mismatch shows the CRC error screen, waits for a
// key and returns false.
bool CheckCRC(const str& payload, unsigned long length, unsigned long checksum);
