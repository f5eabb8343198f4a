// The keyboard as the keypad: plain keys and escape sequences, the keys
// that leave, and the legend at any width.
#include "tools/terminal_keys.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using ruk_sim::key_action;

TEST(TerminalKeys, TheKeyboardAsTheKeypad) {
  std::string typed =
      std::string("19.2 ") + "\x7f\x08\tnrq\r\nx" + "\x1b[C\x1b[D\x1b[A\x1bOB\x1b[5~";
  std::string keypad;
  for (const auto& k : ruk_sim::decode_terminal_input(typed)) {
    ASSERT_EQ(k.action, key_action::keypad);
    keypad += k.keypad;
  }
  EXPECT_EQ(keypad,
            "19*2*iicc"
            "ugh"
            "h"
            "*icc");

  for (const std::string leave : {"\x1b", "\x03", "\x04", "\x1bx"}) {
    auto keys = ruk_sim::decode_terminal_input(leave);
    ASSERT_FALSE(keys.empty()) << leave.size();
    EXPECT_EQ(keys[0].action, key_action::leave);
  }
  EXPECT_TRUE(ruk_sim::decode_terminal_input("\x1b[1;5").empty()) << "an unfinished sequence";
}

TEST(TerminalKeys, LegendFitsTheWidth) {
  std::vector<std::string> wide = ruk_sim::key_legend(134);
  ASSERT_EQ(wide.size(), 1u);
  EXPECT_EQ(wide[0],
            "keys:   0-9 digit   . next octet   Backspace delete   Tab next screen   r reset   "
            "Enter update   q quit   Esc leave ruk-sim");
  std::vector<std::string> narrow = ruk_sim::key_legend(60);
  EXPECT_GT(narrow.size(), 1u);
  std::string joined;
  for (const auto& l : narrow) {
    EXPECT_LE(l.size(), 60u) << l;
    joined += l;
  }
  EXPECT_NE(joined.find("Esc leave ruk-sim"), std::string::npos);
}

}  // namespace
