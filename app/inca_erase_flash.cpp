#include <sys/ioctl.h>

#include "app/flash.h"

int inca_erase_flash(int fd, int start, int count, bool) {
  mtd_info_user info;
  int result = ioctl(fd, MEMGETINFO, &info);
  if (result != 0) return result;
  erase_info_user erase;
  erase.start = static_cast<uint32_t>(start);
  erase.length = count < 0 ? info.size : info.erasesize;
  int requests = count < 0 ? 1 : count;
  for (int i = 0; i < requests; ++i) {
    if (ioctl(fd, MEMERASE, &erase) != 0) return -1;
    erase.start += info.erasesize;
  }
  return 0;
}
