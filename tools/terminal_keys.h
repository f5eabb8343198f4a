// The keyboard as the phone's keypad: what ruk-sim reads from a terminal in
// raw mode, and the legend it shows of it. Pure functions of their input.
#pragma once

#include <string>
#include <vector>

namespace ruk_sim {

// One terminal key as the phone's keypad key it stands for.
enum class key_action { none, keypad, leave };
struct terminal_key {
  key_action action = key_action::none;
  char keypad = 0;  // the keypad character for key_action::keypad
};

// Splits terminal input into keys (plain bytes and the arrow keys' escape
// sequences). Keys of the keyboard, and what they are on the keypad:
//   0-9              the digits
//   . * space, Right next octet (*)
//   Backspace, Left  backspace (i)
//   Tab n, Down Up   next screen (c)
//   r                reset all addresses (u)
//   Enter            update (h)
//   q                quit (g)
//   Esc, Ctrl-C, Ctrl-D  leave ruk-sim
// Anything else is no key. A lone Esc at the end of data counts as Esc.
std::vector<terminal_key> decode_terminal_input(const std::string& bytes);

// The legend of the keys above, in lines of at most width characters.
std::vector<std::string> key_legend(int width);

}  // namespace ruk_sim
