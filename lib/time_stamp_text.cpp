#include "lib/time_stamp_text.h"

#include <sys/time.h>
#include <time.h>

str time_stamp_text(bool hundredths) {
  timeval tv;
  gettimeofday(&tv, nullptr);
  time_t seconds = tv.tv_sec;
  tm local;
  char text[24];
  size_t n = 0;
  if (localtime_r(&seconds, &local) != nullptr) {
    n = strftime(text, sizeof text, "%Y%m%d%H%M%S", &local);
  }
  if (hundredths) {
    text[n++] = static_cast<char>('0' + tv.tv_usec / 100000 % 10);
    text[n++] = static_cast<char>('0' + tv.tv_usec / 10000 % 10);
  }
  return str(text, static_cast<int>(n));
}
