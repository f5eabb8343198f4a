// The end of a run. A process that ends through exit (or by returning from
// main) writes "end<TAB>exit" as its last transcript line, so that a test can
// read when it ended on the simulated clock; a restart writes its own line
// instead (sim/seam/restart.h).
//
// A model may also check, when the run ends, that the program kept its
// device's rules (the LCD bus protocol, say). A run that broke one ends, by
// exit or restart, with a "fault" line in the transcript, the same text on
// standard error, and a status of its own: whatever the program did
// besides, such a run has failed.
#pragma once

#include <string>

namespace sim {

// check() returns what the program broke, or "" when nothing.
void on_run_end(std::string (*check)());

// Runs the checks; when one finds a fault, records it and ends the process
// with transcript_format::status::device_fault (flushing standard output
// first only when flush_output: a restart loses what stdio holds). Returns
// when none does.
void check_run_end(bool flush_output);

}  // namespace sim
