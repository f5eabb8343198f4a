// The keypad: its character device, the driver's event record and the table
// that turns a key code into the key character the program works with.
//
// The driver signals a pending event to select as an exceptional condition on
// its descriptor; the read-event request then fills one key_event_t. During a
// transfer the descriptor also becomes readable and a one-byte read returns
// the key.
#pragma once

#include <stdint.h>

// The record the driver fills. Its layout is the driver's and the machine's
// (the state is a 32-bit integer in the machine's own byte order), so it is
// read in place rather than decoded byte by byte.
struct key_event_t {
  uint8_t code;  // only the low six bits name the key
  uint8_t reserved1[3];
  int32_t state;  // 1: pressed; any other value is not acted on
  uint8_t reserved2[4];
};
static_assert(sizeof(key_event_t) == 12, "the driver fills exactly 12 bytes");

// The read-event request: type 'G', number 1, 12 bytes read, in the MIPS
// encoding of the direction bits (the phone's), on every build. This and
// key_map are the program's own copy of the driver's numbers; the devices it
// is tested against take theirs from sim/models/phone_wire.h, written from
// the driver, so that a slip here fails a test (tests/wire_test.cpp)
// instead of agreeing with itself.
constexpr unsigned long keypad_read_event = 0x400C4701UL;

// Key code (0..33) to key character. Codes 20 and 23 both give 'g', codes
// 25, 29 and 32 give '.'.
constexpr int key_map_size = 34;
extern const char key_map[key_map_size + 1];

// The keypad's descriptor, -1 while it is not open. Owned by the main loop,
// which opens and closes it; the update and the transfer read from it too.
extern int kbd_fd;

// Reads one event from kbd_fd into event. Returns 1 and sets key to the
// event's key character; returns 0 and leaves key as it was when the request
// fails or the code lies beyond key_map (such events are dropped). The caller
// still has to look at event.state.
int inca_get_key(key_event_t& event, char& key);

// Both waits below first drop stale keys: events pending or arriving before
// 200 ms pass without one (2 s at most) were typed before the screen could
// be read, during an erase say, and answer nothing.

// Waits for the user to acknowledge an error screen: after the stale keys,
// the key of the first keypad event does not count, an event of a different
// key must come, and the wait ends at the event after that. A failed read
// counts as an event without a key. The whole wait ends after 300 seconds at
// most, and at once when select fails.
void wait_for_key();

// Waits for the user to acknowledge a screen with one key: after the stale
// keys, the next press ends the wait; releases and failed reads do not. 300
// seconds at most, and at once when select fails.
void wait_for_press();
