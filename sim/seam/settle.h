// The settle rule: when the program, after a run of calls that drew on a
// simulated display, makes any other call that reaches the simulator, the
// display has settled, and its models record what a person would now see.
// Every wrapper calls settle() before serving its call, except calls that are
// themselves display traffic (on files whose settles_display() is false; a
// close ends that traffic and does settle) and clock readings, which a
// person cannot observe.
#pragma once

#include <memory>

#include "sim/seam/file.h"

namespace sim {

// Runs every hook (in the order added).
void settle();
// As settle(), unless f is a file whose calls are display traffic.
void settle_for(const std::shared_ptr<file>& f);
// Adds a hook, run by every settle() from now on and at process exit.
void on_settle(void (*hook)());

}  // namespace sim
