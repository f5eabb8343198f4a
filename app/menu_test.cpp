// The address menu's editing rules, on the globals it keeps. What the
// screens show is checked end to end, on the LCD model's rows.
#include "app/menu.h"

#include <gtest/gtest.h>

#include <string>

#include "app/main_loop.h"
#include "tests/str_text.h"

namespace {

struct address {
  unsigned index;
  unsigned digits;
  str octets[4];

  address(unsigned i, unsigned d, const char* a, const char* b, const char* c, const char* e)
      : index(i), digits(d), octets{a, b, c, e} {}
  void type(const char* keys) {
    for (const char* k = keys; *k != 0; ++k) {
      execute_state(*k, index, digits, octets[0], octets[1], octets[2], octets[3]);
    }
  }
  std::string dotted() const {
    return text(octets[0]) + "." + text(octets[1]) + "." + text(octets[2]) + "." + text(octets[3]);
  }
  // The cursor's column on the screen.
  unsigned column() const { return 4 * index + digits; }
};

TEST(ExecuteState, ZeroIsReplacedAndStillCountsAsADigit) {
  address a(0, 0, "0", "0", "0", "0");
  a.type("0");
  EXPECT_EQ(a.dotted(), "0.0.0.0");
  EXPECT_EQ(a.column(), 1u);
  a.type("07");
  EXPECT_EQ(a.dotted(), "7.0.0.0") << "\"0\" is replaced, so leading zeros vanish";
  EXPECT_EQ(a.column(), 4u);
}

TEST(ExecuteState, MovingOntoATypedOctetAppendsToIt) {
  address a(0, 0, "192", "168", "0", "1");
  a.type("*5");
  EXPECT_EQ(a.dotted(), "192.1685.0.1") << "nothing limits an octet to three digits";
  EXPECT_EQ(a.column(), 5u);
  a.type("j**");
  EXPECT_EQ(a.index, 3u) << "next octet stops at the last one";
  EXPECT_EQ(a.digits, 0u);
}

TEST(ExecuteState, BackspaceOnALongOctetPutsTheCursorAtItsLength) {
  address a(2, 0, "1", "16855", "0", "0");
  a.type("i");
  EXPECT_EQ(a.dotted(), "1.1685.0.0");
  EXPECT_EQ(a.index, 1u);
  EXPECT_EQ(a.digits, 4u);
  a.type("7");
  EXPECT_EQ(a.dotted(), "1.16857.0.0");
  EXPECT_EQ(a.digits, 2u) << "at most 2 after a digit";
  a.type("8");
  EXPECT_EQ(a.dotted(), "1.168578.0.0");
  EXPECT_EQ(a.column(), 8u);
}

TEST(ExecuteState, OtherKeysOnlyFillEmptyOctets) {
  address a(1, 0, "", "5", "", "7");
  a.type("c");
  EXPECT_EQ(a.dotted(), "0.5.0.7");
  a.type("#pg.");
  EXPECT_EQ(a.dotted(), "0.5.0.7");
  EXPECT_EQ(a.column(), 4u);
}

// The globals of the menu, from the countdown on. One test, because the
// globals hold one run's state.
TEST(KeyPressed, AMenuSessionOnTheGlobals) {
  ASSERT_EQ(bCountdown, 1);
  countdown_timer.callback(1000, countdown_tick, nullptr, nullptr);
  key_pressed('5');
  EXPECT_EQ(bCountdown, 0) << "the first key only opens the menu";
  EXPECT_FALSE(countdown_timer.armed());
  EXPECT_EQ(text(ip_adr0), "0");
  EXPECT_EQ(menu_state, 0);

  for (char k : std::string("192168*1")) key_pressed(k);
  EXPECT_EQ(text(ip_adr0) + "." + text(ip_adr1) + "." + text(ip_adr2) + "." + text(ip_adr3),
            "192.168.0.1");
  EXPECT_EQ(ip_index, 3u);
  EXPECT_EQ(ip_digits, 1u);

  key_pressed('c');
  EXPECT_EQ(menu_state, 3);
  key_pressed('c');
  EXPECT_EQ(menu_state, 2);
  EXPECT_EQ(text(gw0) + "." + text(gw3), "192.1");
  key_pressed('9');
  EXPECT_EQ(text(gw3), "19") << "the gateway keeps its own cursor";
  key_pressed('9');
  EXPECT_EQ(gw_index, 4u);
  key_pressed('7');
  EXPECT_EQ(text(gw3), "199") << "complete: digits are ignored";
  key_pressed('c');
  EXPECT_EQ(menu_state, 1);
  key_pressed('c');
  EXPECT_EQ(menu_state, 0);
  EXPECT_EQ(ip_index, 3u);

  key_pressed('u');
  EXPECT_EQ(menu_state, 0) << "reset keeps the screen";
  const str* all[] = {&ip_adr0,  &ip_adr1,  &ip_adr2, &ip_adr3, &netmask0, &netmask1,
                      &netmask2, &netmask3, &gw0,     &gw1,     &gw2,      &gw3,
                      &tftp0,    &tftp1,    &tftp2,   &tftp3};
  for (const str* octet : all) EXPECT_EQ(text(*octet), "0");
  unsigned cursors[] = {ip_index, ip_digits, netmask_index, netmask_digits,
                        gw_index, gw_digits, tftp_index,    tftp_digits};
  for (unsigned c : cursors) EXPECT_EQ(c, 0u);
}

}  // namespace
