// Erasing and writing the application partitions.
#pragma once

#include "app/mtd_requests.h"
#include "lib/str.h"

// Erases the MTD device open on fd: from byte start, count erase blocks, or
// the whole device in one request when count is negative. Returns the
// geometry request's result when that fails, -1 when an erase fails (the
// erasing stops there), else 0. The fourth parameter is not used.
int inca_erase_flash(int fd, int start, int count, bool);

// Writes length bytes of payload to fd from its current offset, in writes
// of image_write_chunk bytes, showing "Update: N%" progress on row 1 of
// theDisplay. False as soon as a write does not take its whole chunk.
// Requires length <= payload length.
bool flash_write_image(int fd, const str& payload, unsigned long length);

// Reads length bytes back from offset 0 of fd and compares them with
// payload. 1 when they match, 0 when they differ, -1 when reading fails.
int flash_verify_image(int fd, const str& payload, unsigned long length);
