// The update itself: download, check and flash writing of the image.
#pragma once

#include "lib/str.h"

// Configures eth0 with the four dotted addresses, fetches the image from the
// TFTP server, checks it and writes it to flash. True only when the image was
// written; on false the user has been told why on the display. Blocks the
// main loop until it returns.
bool tftp_store_image(const str& ip, const str& server, const str& gateway, const str& netmask);
