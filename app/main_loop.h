// The program's event loop: keypad events and timers, until bRunning is
// cleared. Follows the event-loop contract of lib/timeout.h.
#pragma once

// Runs the loop; at its end closes the keypad and the panel and returns 0.
// Ends the process with status 255 when select fails. Requires kbd_fd
// (or -1) and theDisplay set up.
int main_loop();

// Reads one pending keypad event and acts on it: during the countdown any
// press opens the menu; in the menu 'g' quits, 'h' updates, every other key
// goes to the menu.
void handle_key_event();

// The update key: prints the four addresses, runs the update and restarts
// the machine when it succeeded. Ends the loop in any case.
void run_update();
