// The address menu: four IPv4 addresses typed on the keypad, one screen each
// (IP address, netmask, gateway, TFTP server). Each address is four octet
// strings holding the decimal text exactly as typed (never empty after a key,
// not checked against 255, possibly longer than three digits) and a cursor
// of two numbers: index, the octet under the cursor (4 once all four are
// full), and digits, the digits typed into it (also the cursor's column
// within the octet's three-column field).
#pragma once

#include "lib/str.h"

extern str ip_adr0, ip_adr1, ip_adr2, ip_adr3;
extern str netmask0, netmask1, netmask2, netmask3;
extern str gw0, gw1, gw2, gw3;
extern str tftp0, tftp1, tftp2, tftp3;

extern unsigned ip_index, ip_digits;
extern unsigned netmask_index, netmask_digits;
extern unsigned gw_index, gw_digits;
extern unsigned tftp_index, tftp_digits;

// The address on the screen: 0 IP address, 1 netmask, 2 gateway, 3 TFTP
// server.
extern int menu_state;
// Drawn at the cursor: 255 is a full block in the display's font.
extern char cursor;

// One key press from the main loop. The first one ends the countdown and
// opens the IP address screen; later ones edit the address on the screen
// ('0'-'9' type, '*' or 'j' next octet, 'i' backspace, 'u' reset all), or
// show the next screen ('c'). While the address on the screen is complete,
// keys other than 'c', 'i' and 'u' change and redraw nothing.
void key_pressed(char key);

// Applies one key to one address.
void execute_state(char key, unsigned& index, unsigned& digits, str& octet0, str& octet1,
                   str& octet2, str& octet3);

// Draws the address and its cursor on row 1 and flushes the display.
void display_setting(unsigned& index, unsigned& digits, const str& octet0, const str& octet1,
                     const str& octet2, const str& octet3);

// All four addresses 0.0.0.0, all cursors at the first octet.
void reset_settings();

// Draws the screen the menu is on again, as it stands.
void show_menu();
