// Both boards simulated inside a program (the console's and the tool's
// --simulate): published under COM names in a private directory that
// TAVIK_COM_DIR points at, so that the libraries reach them exactly as they
// reach real boards. Replies leave at the line's real rate.
#pragma once

#include <memory>
#include <string>

#include "sim/simulator.h"

namespace tavik::sim {

class SimulatedBoards {
 public:
  // Makes the directory, sets TAVIK_COM_DIR and starts the boards as
  // psb_name and drvb_name. Call it before any other thread of the program
  // runs: it changes the environment. Throws std::system_error on failure.
  explicit SimulatedBoards(const std::string& psb_name = kDefaultPsbPort,
                           const std::string& drvb_name = kDefaultDrvbPort);
  // Stops the boards and removes the directory.
  ~SimulatedBoards();
  SimulatedBoards(const SimulatedBoards&) = delete;
  SimulatedBoards& operator=(const SimulatedBoards&) = delete;

  const std::string& com_dir() const { return com_dir_; }
  Simulator& simulator() { return *simulator_; }

 private:
  std::string com_dir_;
  std::unique_ptr<Simulator> simulator_;
};

}  // namespace tavik::sim
