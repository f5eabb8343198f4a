#include "app/menu.h"

#include "app/main_loop.h"
#include "display/matrix_display.h"
#include "lib/init_order.h"

// The sixteen octet strings with their start-up values. They are built after
// theDisplay and countdown_timer, ip_adr0 first and tftp3 last, and destroyed
// in the reverse order.
str ip_adr0 RUK_INIT(RUK_INIT_APP_OCTETS) = "0";
str ip_adr1 RUK_INIT(RUK_INIT_APP_OCTETS) = "0";
str ip_adr2 RUK_INIT(RUK_INIT_APP_OCTETS) = "0";
str ip_adr3 RUK_INIT(RUK_INIT_APP_OCTETS) = "0";
str netmask0 RUK_INIT(RUK_INIT_APP_OCTETS) = "255";
str netmask1 RUK_INIT(RUK_INIT_APP_OCTETS) = "255";
str netmask2 RUK_INIT(RUK_INIT_APP_OCTETS) = "0";
str netmask3 RUK_INIT(RUK_INIT_APP_OCTETS) = "0";
str gw0 RUK_INIT(RUK_INIT_APP_OCTETS) = "192";
str gw1 RUK_INIT(RUK_INIT_APP_OCTETS) = "168";
str gw2 RUK_INIT(RUK_INIT_APP_OCTETS) = "0";
str gw3 RUK_INIT(RUK_INIT_APP_OCTETS) = "1";
str tftp0 RUK_INIT(RUK_INIT_APP_OCTETS) = "0";
str tftp1 RUK_INIT(RUK_INIT_APP_OCTETS) = "0";
str tftp2 RUK_INIT(RUK_INIT_APP_OCTETS) = "0";
str tftp3 RUK_INIT(RUK_INIT_APP_OCTETS) = "0";

unsigned ip_index = 0, ip_digits = 0;
unsigned netmask_index = 3, netmask_digits = 1;
unsigned gw_index = 3, gw_digits = 1;
unsigned tftp_index = 0, tftp_digits = 0;

int menu_state = 0;
char cursor = static_cast<char>(255);

namespace {

// One screen of the menu: its title, its address and the screen 'c' leads to.
struct screen {
  const char* title;
  unsigned* index;
  unsigned* digits;
  str* octets[4];
  int next;
};

const screen screens[4] = {
    {"IP Address:", &ip_index, &ip_digits, {&ip_adr0, &ip_adr1, &ip_adr2, &ip_adr3}, 3},
    {"Netmask:", &netmask_index, &netmask_digits, {&netmask0, &netmask1, &netmask2, &netmask3}, 0},
    {"IP Gateway:", &gw_index, &gw_digits, {&gw0, &gw1, &gw2, &gw3}, 1},
    {"TFTP Server:", &tftp_index, &tftp_digits, {&tftp0, &tftp1, &tftp2, &tftp3}, 2},
};

void show(const screen& s) {
  theDisplay.Clear();
  theDisplay.Print(0, 0, s.title);
  display_setting(*s.index, *s.digits, *s.octets[0], *s.octets[1], *s.octets[2], *s.octets[3]);
}

void backspace(unsigned& index, unsigned& digits, str* octets[4]) {
  if (digits > 0) {
    --digits;
  } else if (index > 0) {
    --index;
    digits = 2;
  }
  if (index <= 3) {
    str& octet = *octets[index];
    if (octet.length() > 0) octet = octet.substr(0, octet.length() - 1);
    digits = static_cast<unsigned>(octet.length());
  }
}

void type_digit(char key, unsigned& index, unsigned& digits, str* octets[4]) {
  if (index <= 3) {
    str& octet = *octets[index];
    if (octet.compare_sensitiv("0", 1)) {
      octet = str(key, 1);
    } else {
      octet += key;
    }
  }
  if (digits == 2) {
    index = index < 4 ? index + 1 : 4;
    digits = 0;
  } else {
    digits = digits < 2 ? digits + 1 : 2;
  }
}

}  // namespace

void key_pressed(char key) {
  if (bCountdown) {
    countdown_timer.clear();
    bCountdown = 0;
    show(screens[0]);
    return;
  }
  const screen& current = screens[menu_state];
  if (*current.index == 4 && key != 'c' && key != 'i' && key != 'u') return;
  if (key == 'c') {
    menu_state = current.next;
  } else if (key == 'u') {
    reset_settings();
  } else {
    execute_state(key, *current.index, *current.digits, *current.octets[0], *current.octets[1],
                  *current.octets[2], *current.octets[3]);
  }
  show(screens[menu_state]);
}

void execute_state(char key, unsigned& index, unsigned& digits, str& octet0, str& octet1,
                   str& octet2, str& octet3) {
  str* octets[4] = {&octet0, &octet1, &octet2, &octet3};
  if (key == 'i') {
    backspace(index, digits, octets);
  } else if (key == '*' || key == 'j') {
    index = index < 3 ? index + 1 : 3;
    digits = 0;
  } else if (key >= '0' && key <= '9') {
    type_digit(key, index, digits, octets);
  }
  for (str* octet : octets) {
    if (octet->length() == 0) *octet = "0";
  }
}

void display_setting(unsigned& index, unsigned& digits, const str& octet0, const str& octet1,
                     const str& octet2, const str& octet3) {
  // Each octet has a field of three columns; a longer one is partly covered
  // by the dot and the octet printed after it.
  theDisplay.Print(0, 1, octet0);
  theDisplay.Print(3, 1, ".");
  theDisplay.Print(4, 1, octet1);
  theDisplay.Print(7, 1, ".");
  theDisplay.Print(8, 1, octet2);
  theDisplay.Print(11, 1, ".");
  theDisplay.Print(12, 1, octet3);
  theDisplay.Print(static_cast<int>(4 * index + digits), 1, str(cursor, 1));
  theDisplay.Print(18, 1, "next");
  theDisplay.Flush(true);
}

void reset_settings() {
  for (const screen& s : screens) {
    *s.index = 0;
    *s.digits = 0;
    for (str* octet : s.octets) *octet = "0";
  }
}

void show_menu() {
  show(screens[menu_state]);
}
