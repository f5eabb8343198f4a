// The simulator's writer of the run's transcript (its form:
// sim/models/transcript_format.h), ms counted on the simulated clock from the
// start of the run. The file is named by RUK_SIM_TRANSCRIPT; the lines are
// also kept in memory for in-process tests.
#pragma once

#include <string>
#include <vector>

namespace sim {

void transcript(const std::string& kind, const std::string& text);
// The lines of this process so far, without the time column: "kind\ttext".
const std::vector<std::string>& transcript_lines();
// The texts of this process's lines of one kind, in order.
std::vector<std::string> transcript_texts(const std::string& kind);
void transcript_clear();
// f sees every line once it has been written out (one observer; nullptr
// removes it), for a model that acts on what the run has shown so far.
void transcript_observe(void (*f)(const std::string& kind, const std::string& text));

}  // namespace sim
