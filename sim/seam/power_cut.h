// A power cut at a chosen moment of a run: the process ends as a phone does
// when its power fails. It kills itself (SIGKILL), so no exit handler runs,
// what stdio held is lost and the transcript has no "end" line; what the
// models had written to their files stays (the flash partitions keep what
// was programmed, as a flash chip does), for the next run to start on.
//
// RUK_SIM_POWER_CUT=US           when the simulated clock has run US
//                                microseconds since the start of the run
// RUK_SIM_POWER_CUT=KIND:N+US    US microseconds after the run's N-th
//                                transcript line of that kind (screen,
//                                flash, key ..., or line for a line of any
//                                kind), counted from 1; KIND:N cuts right
//                                after that line is written
// On the virtual clock (RUK_SIM_CLOCK=virtual) the cut lands exactly there,
// inside whatever the clock was advancing through: a sector erase, a write
// buffer or a read of the flash (RUK_SIM_FLASH_TIMING=nor), a pause, a wait
// for a key. Only the virtual clock makes that deterministic; on the real
// clock a timer cuts at about that time. A cut after a line comes at a point
// of the program's own progress, whatever real time the download took; it
// moves the virtual clock only when a datagram is late, and then keys may
// be taken at other points, so screen and flash lines are the ones to count.
#pragma once

#include <stdint.h>

#include <string>

namespace sim {

struct power_cut_moment {
  std::string kind;        // "" when US counts from the start of the run
  int64_t after_line = 0;  // N
  int64_t us = 0;
};

// Parses a RUK_SIM_POWER_CUT value; false for anything but the two forms
// above with whole numbers (N at least 1) and a kind of lower-case letters.
bool parse_power_cut(const std::string& text, power_cut_moment* moment);

// Counts the moment from now (the run's start when called at set-up): the
// clock from its present elapsed time, the lines from the next one written.
void arm_power_cut(const power_cut_moment& moment);
// No cut is pending any more.
void disarm_power_cut();

}  // namespace sim
