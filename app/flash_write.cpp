#include <stdint.h>
#include <unistd.h>

#include "app/flash.h"
#include "app/image_format.h"
#include "display/matrix_display.h"

bool flash_write_image(int fd, const str& payload, unsigned long length) {
  const char* bytes = payload.data();
  unsigned long shown = 0;
  unsigned long chunk = 0;
  for (unsigned long at = 0; at < length; at += image_write_chunk, ++chunk) {
    unsigned long n = length - at < image_write_chunk ? length - at : image_write_chunk;
    if (write(fd, bytes + at, n) != static_cast<ssize_t>(n)) return false;
    // The share written before this chunk, so 100% is never shown.
    unsigned long percent =
        static_cast<unsigned long>(static_cast<uint64_t>(chunk) * image_write_chunk * 100 / length);
    if (percent != shown) {
      shown = percent;
      theDisplay.Print(8, 1, str(static_cast<int>(percent), 0) + "%");
      theDisplay.Flush(false);
    }
  }
  return true;
}
