// The start-up countdown and the flags of the main loop.
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
