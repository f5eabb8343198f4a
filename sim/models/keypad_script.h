// Key scripts: timed key presses for a simulated run, written as words
// separated by spaces (RUK_SIM_KEYS).
//
//   @MS      the next key comes MS milliseconds after the start of the run
//   +MS      the next key comes MS milliseconds later than it would have
//   K        a tap of key K: a press, and its release 50 ms later; K is one
//            of the keypad's characters #psvduh*0963jc7852ibg41ga.ket.mo.r
//            (g is code 20, . is code 25) or #CODE with a decimal code of
//            0 to 255 (the record's whole code byte)
//   K/STATE  one event of key K with that state (1 press, 0 release, ...)
//   !        an event whose read-event request fails
//
// Each key word takes 100 ms, so "@500 1 9 2" presses 1, 9 and 2 at 500,
// 600 and 700 ms; "@" may also go back, and the events are put in time
// order. Times are on the simulated clock, counted as in the transcript.
// Example: "@1200 g +900 1 * 5 g".
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

namespace sim {

struct key_event {
  int64_t at_ms = 0;   // since the start of the run
  int code = 0;        // the record's code byte
  int32_t state = 1;   // 1 press, 0 release
  bool fails = false;  // the read-event request for this event fails
};

constexpr int64_t key_hold_ms = 50;
constexpr int64_t key_step_ms = 100;

// The phone's keypad: the character a code gives (code & 0x3F within the
// 34 keys), 0 beyond; the first code that gives a character, -1 for none.
char keypad_char(int code);
int keypad_code(char key);

// How the transcript names an event the program took: "press g 20",
// "release g 20", "state 7 g 20" ("?" for a code beyond the keys), or
// "read failed".
std::string key_event_text(const key_event& e);

// Appends the events of script to events, in time order (equal times in
// script order). On a fault returns
// false, adds nothing, and sets error to a message naming the word.
bool parse_key_script(const std::string& script, std::vector<key_event>* events,
                      std::string* error);

}  // namespace sim
