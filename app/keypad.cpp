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
// Keys typed while nothing read the keypad (a worried user tapping during a
// minute of erasing) are not answers to the screen that comes after: events
// are dropped until this long passes without one...
constexpr long stale_quiet_ms = 200;
// ...but for no longer than this, so that a keypad that never stops cannot
// hold the screen.
constexpr long stale_limit_ms = 2000;

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

ctimestamp deadline_in(long ms) {
  ctimestamp deadline = ctimestamp::now();
  deadline.seconds += ms / 1000;
  deadline.microseconds += ms % 1000 * 1000;
  if (deadline.microseconds >= 1000000) {
    deadline.microseconds -= 1000000;
    ++deadline.seconds;
  }
  return deadline;
}

// Reads and drops keypad events until stale_quiet_ms pass without one, or
// stale_limit_ms in all.
void drop_stale_keys() {
  if (kbd_fd < 0) return;
  ctimestamp limit = deadline_in(stale_limit_ms);
  for (;;) {
    ctimestamp quiet = deadline_in(stale_quiet_ms);
    key_event_t event;
    char key = 0;
    if (next_event(ms_until(quiet) < ms_until(limit) ? quiet : limit, event, key) < 0) return;
  }
}

}  // namespace

void wait_for_key() {
  ctimestamp deadline = deadline_in(wait_limit_seconds * 1000L);
  drop_stale_keys();
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
  ctimestamp deadline = deadline_in(wait_limit_seconds * 1000L);
  drop_stale_keys();
  key_event_t event;
  char key = 0;
  for (;;) {
    int got = next_event(deadline, event, key);
    if (got < 0 || (got == 1 && event.state == 1)) return;
  }
}
