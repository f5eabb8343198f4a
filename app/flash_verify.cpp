#include <string.h>
#include <unistd.h>

#include "app/flash.h"
#include "app/image_format.h"

int flash_verify_image(int fd, const str& payload, unsigned long length) {
  if (lseek(fd, 0, SEEK_SET) != 0) return -1;
  static char back[image_write_chunk];
  const char* expected = payload.data();
  for (unsigned long at = 0; at < length;) {
    unsigned long n = length - at < sizeof back ? length - at : sizeof back;
    ssize_t got = read(fd, back, n);
    if (got <= 0) return -1;
    if (memcmp(back, expected + at, static_cast<size_t>(got)) != 0) return 0;
    at += static_cast<unsigned long>(got);
  }
  return 1;
}
