#include "app/keypad.h"

#include <sys/ioctl.h>

const char key_map[key_map_size + 1] = "#psvduh*0963jc7852ibg41ga.ket.mo.r";

int kbd_fd = -1;

int inca_get_key(key_event_t& event, char& key) {
  if (ioctl(kbd_fd, keypad_read_event, &event) != 0) return 0;
  // The six-bit code can name 64 keys but the keypad has 34; a code past
  // the table is dropped like a failed read.
  unsigned code = event.code & 0x3Fu;
  if (code >= static_cast<unsigned>(key_map_size)) return 0;
  key = key_map[code];
  return 1;
}
