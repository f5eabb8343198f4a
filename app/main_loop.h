// The program's event loop, the start-up countdown that opens it and the
// update key's handler. The loop follows the event-loop contract of
// lib/timeout.h: keypad events and timers, until bRunning is cleared.
#pragma once

#include "lib/timeout.h"

// The main loop goes on while this is non-zero.
extern int bRunning;
// The start-up countdown is in progress: the first key press ends it.
extern int bCountdown;
// Seconds still to be shown.
extern int countdown;
// Drives the countdown; the first key press clears it.
extern timeout countdown_timer;

// Timer function (both arguments unused): shows "To Update by TFTP:" and
// "Press any key:" with the seconds left, and arms countdown_timer for the
// next second; once none are left it ends the main loop instead.
void countdown_tick(void* arg1, void* arg2);

// The start instead of the countdown when the last update did not finish:
// the software is not intact (bFlashErased), which the screen says, and the
// menu follows at once for the update that is needed.
void start_not_intact();

// Runs the loop; at its end closes the keypad and the panel and returns 0.
// A failing select is tried again after select_backoff. Requires kbd_fd (or
// -1) and theDisplay set up.
int main_loop();

// Reads one pending keypad event and acts on it: during the countdown any
// press opens the menu; in the menu 'g' quits (but while the software is not
// intact it only says so, and the menu comes back), 'h' updates, every other
// key goes to the menu.
void handle_key_event();

// The update key: prints the four addresses, runs the update and restarts
// the machine when it succeeded. A failed update ends the loop, unless it
// (or one before it) has erased the software: then the menu comes back.
void run_update();
