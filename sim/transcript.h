// The run's transcript: what a person watching the phone would have seen and
// done, one line per event, for tests and demos to read back.
//
// Each line is "<ms>\t<kind>\t<text>", ms counted on the simulated clock from
// the start of the run. Kinds used: screen, panel, key, net, flash, restart,
// fault, end, and whatever a model adds. The file is named by
// RUK_SIM_TRANSCRIPT; the lines are also kept in memory for in-process tests.
#pragma once

#include <string>
#include <vector>

namespace sim {

void transcript(const std::string& kind, const std::string& text);
// The lines of this process so far, without the time column: "kind\ttext".
const std::vector<std::string>& transcript_lines();
void transcript_clear();
// f sees every line once it has been written out (one observer; nullptr
// removes it), for a model that acts on what the run has shown so far.
void transcript_observe(void (*f)(const std::string& kind, const std::string& text));

}  // namespace sim
