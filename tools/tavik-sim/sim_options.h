// tavik-sim's command line: the boards' names, the link directory, the
// control line, pacing and the seed.
#pragma once

#include <optional>
#include <string>

#include "sim/simulator.h"

namespace tavik::sim {

struct SimProgramOptions {
  SimulatorOptions simulator;
  std::string control_name;  // --control; empty: none
};

// The options of argv, or the exit status when the program is to end here:
// 0 after --help or --version, 2 for a usage error (written to stderr).
std::optional<int> parse_sim_options(int argc, char** argv, SimProgramOptions& options);

}  // namespace tavik::sim
