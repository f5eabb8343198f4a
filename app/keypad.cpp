#include "app/keypad.h"

#include <sys/ioctl.h>
#include <sys/select.h>

#include "lib/ctimestamp.h"

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

namespace {

constexpr int wait_limit_seconds = 300;

long ms_until(const ctimestamp& deadline) {
  ctimestamp now = ctimestamp::now();
  return static_cast<long>(deadline.seconds - now.seconds) * 1000 +
         (deadline.microseconds - now.microseconds) / 1000;
}

// Waits for the next keypad event until deadline and reads it into event: 1
// with key set, 0 for a failed read, -1 when the time is up or select fails.
int next_event(const ctimestamp& deadline, key_event_t& event, char& key) {
  long ms = ms_until(deadline);
  if (ms <= 0) return -1;
  fd_set exceptional;
  FD_ZERO(&exceptional);
  int top = 0;
  if (kbd_fd >= 0) {
    FD_SET(kbd_fd, &exceptional);
    top = kbd_fd + 1;
  }
  timeval limit = {ms / 1000, (ms % 1000) * 1000};
  if (select(top, nullptr, nullptr, &exceptional, &limit) <= 0) return -1;
  return inca_get_key(event, key) == 1 ? 1 : 0;
}

// Whether a keypad event is waiting, without waiting for one.
bool event_pending() {
  if (kbd_fd < 0) return false;
  fd_set exceptional;
  FD_ZERO(&exceptional);
  FD_SET(kbd_fd, &exceptional);
  timeval none = {0, 0};
  return select(kbd_fd + 1, nullptr, nullptr, &exceptional, &none) > 0;
}

ctimestamp wait_deadline() {
  ctimestamp deadline = ctimestamp::now();
  deadline.seconds += wait_limit_seconds;
  return deadline;
}

}  // namespace

void wait_for_key() {
  ctimestamp deadline = wait_deadline();
  key_event_t event;
  char noted = 0;
  int first = next_event(deadline, event, noted);
  if (first < 0) return;
  for (;;) {
    char key = 0;
    int got = next_event(deadline, event, key);
    if (got < 0) return;
    if (got == 1 && (first == 0 || key != noted)) break;
  }
  for (;;) {
    char key = 0;
    if (next_event(deadline, event, key) != 0) return;
  }
}

void wait_for_press() {
  key_event_t event;
  char key = 0;
  // A bounded number, so that a keypad that never stops cannot hold it here.
  for (int dropped = 0; dropped < 64 && event_pending(); ++dropped) inca_get_key(event, key);
  ctimestamp deadline = wait_deadline();
  for (;;) {
    int got = next_event(deadline, event, key);
    if (got < 0 || (got == 1 && event.state == 1)) return;
  }
}
