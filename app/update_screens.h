// The update's screens on theDisplay.
#pragma once

// Clears the display and shows row0 over row1 (row1 may be null).
void update_screen(const char* row0, const char* row1);

// An error screen: message over row1, a key (wait_for_key), then
// "Canceled ...". Always false, for the caller to return.
bool update_error(const char* message, const char* row1 = "Press any key to abort...");

// Waits for the user to acknowledge an error screen: the key of the first
// keypad event does not count, an event of a different key must come, and
// the wait ends at the event after that. A failed read counts as an event
// without a key. The whole wait ends after 300 seconds at most, and at once
// when select fails.
void wait_for_key();
