// Both boards simulated inside the console (--simulate): the power & sensor
// board as COM7 and the drive board as COM8, published in a private
// directory that TAVIK_COM_DIR points at, so that Connect with the lists'
// default selections reaches them exactly as it reaches real boards.
// Replies leave at the line's real rate.
#pragma once

#include <memory>
#include <string>

#include "sim/simulator.h"

namespace tavik::console {

class SimulatedBoards {
 public:
  // Makes the directory, sets TAVIK_COM_DIR and starts the boards. Call it
  // before any other thread of the program runs: it changes the
  // environment. Throws std::system_error on failure.
  SimulatedBoards();
  // Stops the boards and removes the directory.
  ~SimulatedBoards();
  SimulatedBoards(const SimulatedBoards&) = delete;
  SimulatedBoards& operator=(const SimulatedBoards&) = delete;

  const std::string& com_dir() const { return com_dir_; }
  sim::Simulator& simulator() { return *simulator_; }

 private:
  std::string com_dir_;
  std::unique_ptr<sim::Simulator> simulator_;
};

}  // namespace tavik::console
